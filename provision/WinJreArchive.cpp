#include "provision/WinJreArchive.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Cleanup.h"
#include "base/DeletionList.h"
#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/Trace.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "jvmsearch/JvmLocator.h"
#include "resources/resource.h"

namespace plimo {

namespace {

constexpr const char* ARCHIVE_NAME = "jre.tar.gz";
constexpr const char* RUNTIME_DIRECTORY = "jre";
// Below this length the narrow functions take the path as it is.
constexpr std::size_t NARROW_PATH_LIMIT = MAX_PATH - 12;

class DialogProgress final : public TarProgress {
 public:
  explicit DialogProgress(HWND dialog) : dialog_(dialog) {}
  std::uint32_t ticks() override { return GetTickCount(); }
  void setPosition(int position) override {
    if (dialog_ != nullptr) {
      SendDlgItemMessageA(dialog_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
  }

 private:
  HWND dialog_;
};

// "\\?\C:\..." or "\\?\UNC\server\share\..." for an absolute narrow path.
bool toExtendedWidePath(const char* path, wchar_t* out, int capacity) {
  const wchar_t* prefix = L"\\\\?\\";
  const char* rest = path;
  if (path[0] == '\\' && path[1] == '\\') {
    prefix = L"\\\\?\\UNC\\";
    rest = path + 2;
  }
  int prefixLength = static_cast<int>(wcslen(prefix));
  if (capacity <= prefixLength) return false;
  wcscpy_s(out, static_cast<std::size_t>(capacity), prefix);
  int n = MultiByteToWideChar(CP_ACP, 0, rest, -1, out + prefixLength, capacity - prefixLength);
  return n > 0;
}

// Installers built before the message existed carry no text for it; the
// message that a runtime could not be started is the nearest they have.
[[noreturn]] void reportDamagedArchive() {
  if (getConfigWString(wmsg::RUNTIME_ARCHIVE_DAMAGED).empty()) fatalMessage(msg::JVM_NOT_STARTED, nullptr, nullptr);
  fatalWideMessage(wmsg::RUNTIME_ARCHIVE_DAMAGED);
}

}  // namespace

WinDirectoryTarget::WinDirectoryTarget(const char* ansiRoot) {
  std::size_t length = strnlen(ansiRoot, sizeof(root_) - 1);
  std::memcpy(root_, ansiRoot, length);
  while (length > 0 && (root_[length - 1] == '\\' || root_[length - 1] == '/')) --length;
  root_[length] = '\0';
  path_[0] = '\0';
}

bool WinDirectoryTarget::fullPath(const char* utf8RelativePath) {
  std::size_t rootLength = std::strlen(root_);
  std::size_t relativeLength = std::strlen(utf8RelativePath);
  if (rootLength + 1 + relativeLength >= sizeof(path_)) return false;
  std::memcpy(path_, root_, rootLength);
  path_[rootLength] = '\\';
  for (std::size_t i = 0; i < relativeLength; ++i) {
    path_[rootLength + 1 + i] = utf8RelativePath[i] == '/' ? '\\' : utf8RelativePath[i];
  }
  path_[rootLength + 1 + relativeLength] = '\0';
  return true;
}

bool WinDirectoryTarget::makeDirectory(const char* utf8RelativePath) {
  if (!fullPath(utf8RelativePath)) return false;
  BOOL made;
  if (std::strlen(path_) < NARROW_PATH_LIMIT) {
    made = CreateDirectoryA(path_, nullptr);
  } else {
    if (!toExtendedWidePath(path_, wide_, WIDE_PATH_CAPACITY)) return false;
    made = CreateDirectoryW(wide_, nullptr);
  }
  return made || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WinDirectoryTarget::openFile(const char* utf8RelativePath) {
  closeFile();
  // Once the process is ending the exit handler removes the runtime folder;
  // writing on would put files into it behind its back.
  if (processIsEnding() || !fullPath(utf8RelativePath)) return false;
  if (std::strlen(path_) < NARROW_PATH_LIMIT) {
    file_.reset(CreateFileA(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  } else {
    if (!toExtendedWidePath(path_, wide_, WIDE_PATH_CAPACITY)) return false;
    file_.reset(CreateFileW(wide_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  return isValid(file_);
}

bool WinDirectoryTarget::writeFile(const void* data, std::size_t n) {
  if (!isValid(file_) || processIsEnding()) return false;
  const char* bytes = static_cast<const char*>(data);
  while (n > 0) {
    DWORD written = 0;
    if (!WriteFile(file_.get(), bytes, static_cast<DWORD>(n), &written, nullptr) || written == 0) return false;
    bytes += written;
    n -= written;
  }
  return true;
}

bool WinDirectoryTarget::closeFile() {
  if (!isValid(file_)) return true;
  // Closed here rather than by the owner: a failed close means lost data.
  return CloseHandle(file_.release()) != FALSE;
}

bool extractTarGz(const char* ansiArchivePath, const char* ansiTargetDir, HWND dialog, std::int64_t totalSize) {
  WinDirectoryTarget target(ansiTargetDir);
  DialogProgress progress(dialog);
  return extractTarGzFile(ansiArchivePath, target, &progress, totalSize) == TarStatus::Ok;
}

void unpackJreArchive(HWND dialog, const AnsiText& directory) {
  // Both paths inside the launcher's own directory, whatever is current: a
  // "jre" the launcher did not create is never written into or deleted.
  std::string archive = childPath(directory, ARCHIVE_NAME);
  std::string runtimeHome = childPath(directory, RUNTIME_DIRECTORY);
  bool made = !directory.empty() && (CreateDirectoryA(runtimeHome.c_str(), nullptr) != FALSE);
  // The decompressed size of the archive, for the progress bar; a missing
  // value leaves the bar at the start.
  int totalSize = getConfigInt(cfg::ARCHIVE_SIZE);
  bool unpacked = made && extractTarGz(archive.c_str(), runtimeHome.c_str(), dialog, totalSize);
  trace("archive: %s into %s %s", archive.c_str(), runtimeHome.c_str(),
        unpacked ? "unpacked" : "not completely unpacked");
  // Stopped by the end of the process: its exit handler removes everything.
  if (!unpacked) parkIfEnding();
  DeleteFileA(archive.c_str());
  if (!unpacked) {
    // Part of a runtime may load and then fail in ways no message explains;
    // none of it is used, and none of it stays.
    if (made) deleteTree(runtimeHome);
    reportDamagedArchive();
  }
  // Whether the runtime is usable is for the search to decide, which also
  // tells the user what is wrong with it; a runtime that is not ends the run
  // as the failure it is.
  if (!locateJvm(true, runtimeHome.c_str(), false)) exitQuietly();
}

}  // namespace plimo
