#pragma once
#include <windows.h>

#include <cstddef>

namespace plimo {

// Put a wide text into a caption or a dialog control through the wide calls.
// The launcher's dialogs are Unicode windows, so every character is kept.
void setWindowTextWide(HWND window, const char16_t* text);
void setDlgItemTextWide(HWND dialog, int controlId, const char16_t* text);

// Widens a one-line text control of dialog so that its current text fits,
// up to the dialog's right margin (as wide as the control's left one),
// growing the dialog within the screen's work area when that is not enough.
// Never narrows; a control that is not there is left alone.
void fitTextControl(HWND dialog, int controlId);
// Makes the visible buttons ids (a row, left to right, ending at the dialog's
// right margin) wide enough for their labels, keeping the row's spacing and
// right edge, and grows the dialog within the work area when the row would
// pass its left margin. Hidden buttons keep their place. At most four ids.
void fitButtonRow(HWND dialog, const int* ids, int count);

// The narrow form of text in the ANSI code page (characters it cannot hold
// become '?'), cut to fit capacity bytes without splitting a double-byte
// character; always terminated when capacity is above 0.
void narrowText(const char16_t* text, char* ansiBuffer, std::size_t capacity);

// Centres a window over its parent, or over the desktop when it has none.
void centerWindow(HWND window);

// Number of visible top-level windows owned by the process.
int countVisibleProcessWindows(DWORD processId);
// True when the window belongs to the process.
bool isWindowOfProcess(HWND window, DWORD processId);

}  // namespace plimo
