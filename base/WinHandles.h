#pragma once
// RAII owners for the Win32 handles the launcher opens. Each closes its handle
// exactly once, in its destructor or when reset.
#include <windows.h>

#include <memory>

namespace plimo {

struct FileHandleCloser {
  typedef HANDLE pointer;
  void operator()(HANDLE h) const {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
// A kernel handle; INVALID_HANDLE_VALUE and null both mean "none".
using UniqueHandle = std::unique_ptr<void, FileHandleCloser>;
inline bool isValid(const UniqueHandle& h) { return h.get() != nullptr && h.get() != INVALID_HANDLE_VALUE; }

struct FindCloser {
  typedef HANDLE pointer;
  void operator()(HANDLE h) const {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) FindClose(h);
  }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

struct KeyCloser {
  typedef HKEY pointer;
  void operator()(HKEY k) const {
    if (k != nullptr) RegCloseKey(k);
  }
};
using UniqueKey = std::unique_ptr<HKEY__, KeyCloser>;

struct ModuleFreer {
  typedef HMODULE pointer;
  void operator()(HMODULE m) const {
    if (m != nullptr) FreeLibrary(m);
  }
};
// For modules the launcher may unload; a runtime library is never unloaded.
using UniqueModule = std::unique_ptr<HINSTANCE__, ModuleFreer>;

}  // namespace plimo
