#include <windows.h>

#include "jvmsearch/WinPaths.h"
#include "jvmsearch/SearchRules.h"
#include "jvmsearch/WinSearchPlatform.h"
#include "launcher/Limits.h"
#include "launcher/Trace.h"

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

}  // namespace

void* loadRuntimeLibrary(const std::string& library, const std::string& javaExe) {
  std::string full = fullPathName(library);
  if (full.empty() || !fileExists(full.c_str())) {
    trace("library %s: not present", library.c_str());
    return nullptr;
  }
  std::string bin = fullPathName(javaExeDirectory(javaExe));
  HMODULE module;
  {
    ScopedDllDirectory scope(bin);
    module = LoadLibraryA(full.c_str());
  }
  if (module == nullptr) {
    trace("library %s: does not load (error %lu)", full.c_str(), GetLastError());
  } else {
    trace("library %s: loaded (dependencies from %s)", full.c_str(), bin.c_str());
  }
  return module;
}

}  // namespace plimo
