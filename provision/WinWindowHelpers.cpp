#include "provision/WinWindowHelpers.h"

#include <cstring>
#include <string>

#include "provision/ControlFit.h"

namespace plimo {

namespace {

struct WindowCount {
  DWORD processId;
  int count;
};

BOOL CALLBACK countWindow(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<WindowCount*>(param);
  if (IsWindowVisible(window) && isWindowOfProcess(window, state->processId)) ++state->count;
  return TRUE;
}

// A window's device context, released when the owner goes.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Width in pixels of a control's text on one line, in the control's font.
int textWidth(HWND control) {
  wchar_t text[512];
  int length = GetWindowTextW(control, text, 512);
  WindowDc dc(control);
  if (dc.get() == nullptr || length <= 0) return 0;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font != nullptr ? SelectObject(dc.get(), font) : nullptr;
  SIZE size{0, 0};
  GetTextExtentPoint32W(dc.get(), text, length, &size);
  if (previous != nullptr) SelectObject(dc.get(), previous);
  return size.cx;
}

// A control's rectangle in its dialog's client coordinates.
RECT placeIn(HWND dialog, HWND control) {
  RECT place;
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

int clientWidth(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  return client.right;
}

// Widens the dialog by up to want pixels, moving it left where its right edge
// would leave the work area; returns the pixels it grew by.
int growDialog(HWND dialog, int want) {
  RECT outer;
  RECT screen;
  GetWindowRect(dialog, &outer);
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0)) return 0;
  int width = outer.right - outer.left;
  int growth = growthWithinScreen(width, want, screen.right - screen.left);
  if (growth == 0) return 0;
  int left = outer.left;
  if (left + width + growth > screen.right) left = screen.right - width - growth;
  if (left < screen.left) left = screen.left;
  SetWindowPos(dialog, nullptr, left, outer.top, width + growth, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  return growth;
}

}  // namespace

void narrowText(const char16_t* text, char* ansiBuffer, std::size_t capacity) {
  if (capacity == 0) return;
  ansiBuffer[0] = '\0';
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
  std::memcpy(ansiBuffer, whole.data(), keep);
  ansiBuffer[keep] = '\0';
}

void setWindowTextWide(HWND window, const char16_t* text) {
  SetWindowTextW(window, reinterpret_cast<const wchar_t*>(text));
}

void setDlgItemTextWide(HWND dialog, int controlId, const char16_t* text) {
  SetDlgItemTextW(dialog, controlId, reinterpret_cast<const wchar_t*>(text));
}

void fitTextControl(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return;
  RECT place = placeIn(dialog, control);
  int width = place.right - place.left;
  int needed = textWidth(control);
  if (needed <= width) return;
  int room = clientWidth(dialog) - 2 * place.left;
  if (needed > room) room += growDialog(dialog, needed - room);
  int fitted = needed < room ? needed : room;
  if (fitted <= width) return;
  SetWindowPos(control, nullptr, 0, 0, fitted, place.bottom - place.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void fitButtonRow(HWND dialog, const int* ids, int count) {
  HWND buttons[4];
  RECT places[4];
  int widths[4];
  int lefts[4];
  int shown = 0;
  for (int i = 0; i < count && i < 4; ++i) {
    HWND button = GetDlgItem(dialog, ids[i]);
    // The style, not IsWindowVisible: the dialog itself is not shown yet.
    if (button == nullptr || (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    buttons[shown] = button;
    places[shown] = placeIn(dialog, button);
    const RECT& place = places[shown];
    // A label needs about half the button's height of room on either side.
    int needed = textWidth(button) + (place.bottom - place.top);
    widths[shown] = needed > place.right - place.left ? needed : place.right - place.left;
    ++shown;
  }
  if (shown == 0) return;
  int right = places[shown - 1].right;
  int gap = shown > 1 ? places[shown - 1].left - places[shown - 2].right : 0;
  int over = layOutButtonRow(widths, lefts, shown, right, gap, clientWidth(dialog) - right);
  int shift = over > 0 ? growDialog(dialog, over) : 0;
  for (int i = 0; i < shown; ++i) {
    SetWindowPos(buttons[i], nullptr, lefts[i] + shift, places[i].top, widths[i], places[i].bottom - places[i].top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
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

void centerWindow(HWND window) {
  HWND parent = GetParent(window);
  if (parent == nullptr) parent = GetDesktopWindow();
  RECT outer;
  RECT own;
  GetWindowRect(parent, &outer);
  GetWindowRect(window, &own);
  int parentWidth = outer.right - outer.left;
  int parentHeight = outer.bottom - outer.top;
  int width = own.right - own.left;
  int height = own.bottom - own.top;
  SetWindowPos(window, nullptr, outer.left + (parentWidth - width) / 2, outer.top + (parentHeight - height) / 2, 0, 0,
               SWP_NOSIZE);
}

}  // namespace plimo
