#pragma once
#include <windows.h>

namespace plimo {

// Procedure of the runtime choice dialog (resource 104): ends with 1004
// (download) or 1005 (a java.exe was picked and accepted); Cancel ends the
// process with exit code 1.
INT_PTR CALLBACK runtimeChoiceDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Lets the user pick a java.exe with the open-file dialog, checks it with
// locateJvm (which tells the user when it is refused) and records it in the
// located-runtime list. True when the pick was accepted; false when it was
// refused or the open-file dialog was cancelled.
bool browseForJavaExe(HWND owner);

}  // namespace plimo
