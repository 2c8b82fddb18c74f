#include "base/WinSystemLibrary.h"

#include <cwchar>

#include "base/Trace.h"
#include "block/Limits.h"

namespace plimo {

HMODULE loadSystemLibrary(const wchar_t* name) {
  wchar_t path[PATH_BUFFER_SIZE];
  UINT n = GetSystemDirectoryW(path, PATH_BUFFER_SIZE);
  std::size_t length = std::wcslen(name);
  if (n == 0 || n + 1 + length >= PATH_BUFFER_SIZE) return nullptr;
  path[n] = L'\\';
  std::wmemcpy(path + n + 1, name, length + 1);
  // The altered search path lets the library's own dependencies come from
  // the system directory too.
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  trace("loading %ls from the system directory %s", name, module != nullptr ? "succeeded" : "failed");
  return module;
}

}  // namespace plimo
