#pragma once
#include <windows.h>

namespace plimo {

// Posted by the worker when the Java program's main returned normally: the
// progress dialog ends, WinMain returns 0 and the exit handlers run.
constexpr UINT WM_PLIMO_LAUNCH_DONE = WM_APP + 1;

// Registers "MyDlgClass", the window class of the progress dialog.
void registerDialogClass();
INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Thread procedures; the parameter is the progress dialog.
DWORD WINAPI launchWorker(LPVOID dialog);
DWORD WINAPI windowWatcher(LPVOID dialog);

}  // namespace plimo
