#include "launcher/WinDllSearch.h"

#include <windows.h>

#include "base/Trace.h"
#include "base/WinSystemLibrary.h"

namespace plimo {

const wchar_t* const PRELOADED_SYSTEM_LIBRARIES[] = {
    L"uxtheme.dll",   // themes, loaded by common controls 6
    L"dwmapi.dll",    // window composition, loaded by themes and dialogs
    L"version.dll",   // version resources, loaded by the shell and common dialogs
    L"userenv.dll",   // user profile paths, loaded by the shell
    L"profapi.dll",   // profile API, loaded by userenv
    L"cryptbase.dll", // base crypto, loaded by advapi32 on first use
    L"sspicli.dll",   // security support, loaded by wininet and advapi32
    L"propsys.dll",   // property system, loaded by the open-file dialog
    nullptr,
};

void hardenDllSearch() {
  // The launcher's first step: in a trace, the time before it is the system's.
  trace("DLL search: hardening");
  // An empty DLL directory removes the current directory from the search.
  SetDllDirectoryW(L"");
  // Never freed: the point is that they stay loaded.
  for (const wchar_t* const* name = PRELOADED_SYSTEM_LIBRARIES; *name != nullptr; ++name) loadSystemLibrary(*name);
}

void initCommonControlsLate() {
  // A bare name, so that the manifest's side-by-side redirection picks
  // version 6; only the system directory is searched beyond that.
  HMODULE library = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Systems without the search flags (Windows 7 before its 2011 update)
  // refuse them; the current directory is out of the search already.
  if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) library = LoadLibraryW(L"comctl32.dll");
  trace("common controls: %s", library != nullptr ? "loaded" : "not loaded");
  if (library == nullptr) return;
  typedef void(WINAPI * InitFn)();
  InitFn init = nullptr;
  if (bindProc(library, "InitCommonControls", init)) init();
}

}  // namespace plimo
