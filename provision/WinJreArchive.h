#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/WinHandles.h"
#include "provision/TarReader.h"

namespace plimo {

// Unpacks the gzip-compressed (or plain) tar archive at archivePath into the
// existing directory targetDir, reporting progress 0..100 to the dialog's
// progress bar (none when dialog is null) against totalSize decompressed
// bytes. Entry names that would leave targetDir stop it before anything is
// written under them. The process's current directory is not changed.
bool extractTarGz(const char* archivePath, const char* targetDir, HWND dialog, std::int64_t totalSize);

// Unpacks "jre.tar.gz" of directory (the launcher's temporary directory)
// into its "jre", which it creates, and selects it as the runtime. A damaged
// archive ends the process with message 20015 (1005 in older installers); an
// unusable runtime, after the search's message, with exit code 1.
void unpackJreArchive(HWND dialog, const std::string& directory);

// Files and directories below an absolute Windows directory. Paths of
// MAX_PATH or more go through the "\\?\" form of the wide functions.
class WinDirectoryTarget final : public TarTarget {
 public:
  explicit WinDirectoryTarget(const char* root);
  bool makeDirectory(const char* relativePath) override;
  bool openFile(const char* relativePath) override;
  bool writeFile(const void* data, std::size_t n) override;
  bool closeFile() override;

 private:
  bool fullPath(const char* relativePath);
  char root_[PATH_BUFFER_SIZE];
  char path_[PATH_BUFFER_SIZE];
  static constexpr int WIDE_PATH_CAPACITY = PATH_BUFFER_SIZE + 8;
  wchar_t wide_[WIDE_PATH_CAPACITY];
  UniqueHandle file_;
};

}  // namespace plimo
