#include <windows.h>

#include "base/Trace.h"
#include "base/WinSystemLibrary.h"
#include "base/WinText.h"
#include "block/Limits.h"
#include "jvmsearch/SearchRules.h"
#include "jvmsearch/WinPaths.h"
#include "jvmsearch/WinSearchPlatform.h"

namespace plimo {

namespace {

// Puts a directory on the DLL search path and restores the previous setting
// when it goes out of scope.
class ScopedDllDirectory {
 public:
  explicit ScopedDllDirectory(const std::string& directory) {
    DWORD n = GetDllDirectoryA(sizeof previous_, previous_);
    hadPrevious_ = n > 0 && n < sizeof previous_;
    active_ = SetDllDirectoryA(directory.c_str()) != 0;
  }
  ~ScopedDllDirectory() {
    // Back to what it was; an empty directory stays empty, since the
    // launcher keeps the current directory out of the search from the start.
    if (active_) SetDllDirectoryA(hadPrevious_ ? previous_ : "");
  }
  ScopedDllDirectory(const ScopedDllDirectory&) = delete;
  ScopedDllDirectory& operator=(const ScopedDllDirectory&) = delete;

 private:
  char previous_[PATH_BUFFER_SIZE] = {};
  bool hadPrevious_ = false;
  bool active_ = false;
};

typedef DLL_DIRECTORY_COOKIE(WINAPI* AddDllDirectoryFn)(PCWSTR);
typedef BOOL(WINAPI* RemoveDllDirectoryFn)(DLL_DIRECTORY_COOKIE);

// Adds a directory to the directories LOAD_LIBRARY_SEARCH_USER_DIRS searches
// and takes it out again when it goes out of scope.
class ScopedUserDllDirectory {
 public:
  ScopedUserDllDirectory(AddDllDirectoryFn add, RemoveDllDirectoryFn remove, const wchar_t* directory)
      : remove_(remove), cookie_(add(directory)) {}
  ~ScopedUserDllDirectory() {
    if (cookie_ != nullptr) remove_(cookie_);
  }
  bool added() const { return cookie_ != nullptr; }
  ScopedUserDllDirectory(const ScopedUserDllDirectory&) = delete;
  ScopedUserDllDirectory& operator=(const ScopedUserDllDirectory&) = delete;

 private:
  RemoveDllDirectoryFn remove_;
  DLL_DIRECTORY_COOKIE cookie_;
};

enum class SafeLoad { Loaded, Failed, Unsupported };

// Loads the library with its imports looked for in its own folder, in bin
// and in the system directory only. A real jvm.dll imports its C runtime
// DLLs by bare name, and the usual search (even with SetDllDirectory) looks
// in the program's own folder first: an installer started from a download
// folder would load a C runtime DLL planted there.
SafeLoad loadWithOwnImports(const AnsiText& full, const AnsiText& bin, HMODULE& module, DWORD& error) {
  // Both come with the loader update of 2011, which a Windows 7 may lack; an
  // import of them would keep the stub from starting there at all.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  AddDllDirectoryFn add = nullptr;
  RemoveDllDirectoryFn remove = nullptr;
  if (kernel == nullptr || !bindProc(kernel, "AddDllDirectory", add) ||
      !bindProc(kernel, "RemoveDllDirectory", remove)) {
    return SafeLoad::Unsupported;
  }
  ScopedUserDllDirectory scope(add, remove, wideFrom(bin.c_str(), CP_ACP).c_str());
  if (!scope.added()) {
    error = GetLastError();
    trace("library %s: cannot add %s to the DLL search", full.c_str(), bin.c_str());
    return SafeLoad::Failed;
  }
  module = LoadLibraryExW(wideFrom(full.c_str(), CP_ACP).c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                              LOAD_LIBRARY_SEARCH_USER_DIRS);
  if (module != nullptr) return SafeLoad::Loaded;
  // Read before the scope's clean-up can change it.
  error = GetLastError();
  return error == ERROR_INVALID_PARAMETER ? SafeLoad::Unsupported : SafeLoad::Failed;
}

}  // namespace

void* loadRuntimeLibrary(const AnsiText& library, const AnsiText& javaExe) {
  std::string full = fullPathName(library);
  if (full.empty() || !fileExists(full.c_str())) {
    trace("library %s: not present", library.c_str());
    return nullptr;
  }
  std::string bin = fullPathName(javaExeDirectory(javaExe));
  HMODULE module = nullptr;
  DWORD error = 0;
  if (loadWithOwnImports(full, bin, module, error) == SafeLoad::Unsupported) {
    // Without the search flags the program's folder cannot be kept out of
    // the search; bin at least comes right after it, before PATH.
    trace("library %s: the system has no DLL search flags", full.c_str());
    ScopedDllDirectory scope(bin);
    module = LoadLibraryA(full.c_str());
    error = GetLastError();
  }
  if (module == nullptr) {
    trace("library %s: does not load (error %lu)", full.c_str(), error);
  } else {
    trace("library %s: loaded (dependencies from %s)", full.c_str(), bin.c_str());
  }
  return module;
}

}  // namespace plimo
