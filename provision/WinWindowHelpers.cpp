#include "provision/WinWindowHelpers.h"

#include "launcher/Limits.h"

namespace plimo {

namespace {

typedef BOOL(WINAPI* SetDlgItemTextWFn)(HWND, int, LPCWSTR);
typedef BOOL(WINAPI* SetWindowTextWFn)(HWND, LPCWSTR);

bool wideBindingAttempted = false;
SetDlgItemTextWFn setDlgItemTextW = nullptr;
SetWindowTextWFn setWindowTextW = nullptr;

// The narrow form of text in the ANSI code page, terminated within the buffer.
void toNarrow(const char16_t* text, char (&buffer)[VALUE_BUFFER_SIZE]) {
  int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1, buffer,
                              static_cast<int>(sizeof buffer), nullptr, nullptr);
  if (n <= 0) {
    // Too long for the buffer: keep what fits.
    buffer[sizeof buffer - 1] = '\0';
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) buffer[0] = '\0';
  }
}

struct WindowCount {
  DWORD processId;
  int count;
};

BOOL CALLBACK countWindow(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<WindowCount*>(param);
  if (IsWindowVisible(window) && isWindowOfProcess(window, state->processId)) ++state->count;
  return TRUE;
}

}  // namespace

void bindWideTextFunctions() {
  if (wideBindingAttempted) return;
  wideBindingAttempted = true;
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL known = GetVersionExA(&version);
#pragma GCC diagnostic pop
  if (!known || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return;
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return;
  setDlgItemTextW = reinterpret_cast<SetDlgItemTextWFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetDlgItemTextW")));
  setWindowTextW = reinterpret_cast<SetWindowTextWFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetWindowTextW")));
}

void setWindowTextWide(HWND window, const char16_t* text) {
  bindWideTextFunctions();
  if (setWindowTextW != nullptr) {
    setWindowTextW(window, reinterpret_cast<const wchar_t*>(text));
    return;
  }
  char narrow[VALUE_BUFFER_SIZE];
  toNarrow(text, narrow);
  SetWindowTextA(window, narrow);
}

void setDlgItemTextWide(HWND dialog, int controlId, const char16_t* text) {
  bindWideTextFunctions();
  if (setDlgItemTextW != nullptr) {
    setDlgItemTextW(dialog, controlId, reinterpret_cast<const wchar_t*>(text));
    return;
  }
  char narrow[VALUE_BUFFER_SIZE];
  toNarrow(text, narrow);
  SetDlgItemTextA(dialog, controlId, narrow);
}

int countVisibleProcessWindows(DWORD processId) {
  WindowCount state{processId, 0};
  EnumWindows(countWindow, reinterpret_cast<LPARAM>(&state));
  return state.count;
}

bool isWindowOfProcess(HWND window, DWORD processId) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId;
}

}  // namespace plimo
