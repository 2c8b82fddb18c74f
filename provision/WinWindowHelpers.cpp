#include "provision/WinWindowHelpers.h"

#include <cstring>
#include <string>

#include "launcher/Limits.h"

namespace plimo {

namespace {

typedef BOOL(WINAPI* SetDlgItemTextWFn)(HWND, int, LPCWSTR);
typedef BOOL(WINAPI* SetWindowTextWFn)(HWND, LPCWSTR);

bool wideBindingAttempted = false;
SetDlgItemTextWFn setDlgItemTextW = nullptr;
SetWindowTextWFn setWindowTextW = nullptr;

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

void narrowText(const char16_t* text, char* buffer, std::size_t capacity) {
  if (capacity == 0) return;
  buffer[0] = '\0';
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
  int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return;
  std::string whole(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, &whole[0], needed, nullptr, nullptr);
  // Keep what fits, without splitting a double-byte character.
  std::size_t keep = 0;
  while (keep < whole.size() && whole[keep] != '\0') {
    std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(whole[keep])) && keep + 1 < whole.size() ? 2 : 1;
    if (keep + step > capacity - 1) break;
    keep += step;
  }
  std::memcpy(buffer, whole.data(), keep);
  buffer[keep] = '\0';
}

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
  narrowText(text, narrow, sizeof narrow);
  SetWindowTextA(window, narrow);
}

void setDlgItemTextWide(HWND dialog, int controlId, const char16_t* text) {
  bindWideTextFunctions();
  if (setDlgItemTextW != nullptr) {
    setDlgItemTextW(dialog, controlId, reinterpret_cast<const wchar_t*>(text));
    return;
  }
  char narrow[VALUE_BUFFER_SIZE];
  narrowText(text, narrow, sizeof narrow);
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
