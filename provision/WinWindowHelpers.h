#pragma once
#include <windows.h>

#include <cstddef>

namespace plimo {

// Looks up SetDlgItemTextW and SetWindowTextW in user32 on the NT family, once
// per process; elsewhere both stay null and texts take the narrow path.
void bindWideTextFunctions();
// Put a wide text into a caption or a dialog control; on systems without the
// wide functions the text is converted to the ANSI code page (characters it
// cannot hold become '?', the result is always terminated within 8192 bytes).
void setWindowTextWide(HWND window, const char16_t* text);
void setDlgItemTextWide(HWND dialog, int controlId, const char16_t* text);

// The narrow form of text in the ANSI code page (characters it cannot hold
// become '?'), cut to fit capacity bytes without splitting a double-byte
// character; always terminated when capacity is above 0.
void narrowText(const char16_t* text, char* buffer, std::size_t capacity);

// Number of visible top-level windows owned by the process.
int countVisibleProcessWindows(DWORD processId);
// True when the window belongs to the process.
bool isWindowOfProcess(HWND window, DWORD processId);

}  // namespace plimo
