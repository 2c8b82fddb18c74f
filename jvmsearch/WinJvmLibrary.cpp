#include <windows.h>

#include "jvmsearch/JvmSearch.h"
#include "jvmsearch/Paths.h"
#include "launcher/ConfigStore.h"
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

// Loads one library by its full path, with the runtime's bin directory (the
// executable's directory) on the search path for its dependencies.
HMODULE loadRuntimeLibrary(const std::string& javaExe, const std::string& library) {
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

}  // namespace

void* loadJvmLibraryFromBin(const std::string& javaExe) {
  for (const std::string& library : jvmLibrariesBeside(javaExe, getConfigString(cfg::PREFERRED_VM_TYPE))) {
    if (HMODULE module = loadRuntimeLibrary(javaExe, library)) return module;
  }
  return nullptr;
}

void* loadJvmLibrary(const std::string& javaExe) {
  if (void* module = loadJvmLibraryFromBin(javaExe)) return module;
  return loadJvmLibraryFromBin(privateJreJavaExe(javaExe));
}

}  // namespace plimo
