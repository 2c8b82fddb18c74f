#pragma once
// Libraries the launcher loads at run time come from the system directory by
// full path, never by bare name: a DLL of the same name beside the installer
// (a download folder) must not be picked up instead.
#include <windows.h>

namespace plimo {

// Loads name (for example L"wininet.dll") from the system directory, its own
// dependencies from there as well. Null when the system has no such library
// or the path does not fit. The library stays loaded.
HMODULE loadSystemLibrary(const wchar_t* name);

// Fills slot with the address of name in module; false (slot null) when the
// module lacks it.
template <typename Fn>
bool bindProc(HMODULE module, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

}  // namespace plimo
