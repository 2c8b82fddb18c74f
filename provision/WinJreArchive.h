#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/WinHandles.h"
#include "block/TextKinds.h"
#include "provision/TarReader.h"

namespace plimo {

// Unpacks the gzip-compressed (or plain) tar archive at ansiArchivePath into
// the existing directory ansiTargetDir, reporting progress 0..100 to the
// dialog's progress bar (none when dialog is null) against totalSize
// decompressed bytes. Entry names that would leave ansiTargetDir stop it
// before anything is written under them. The process's current directory is
// not changed.
bool extractTarGz(const char* ansiArchivePath, const char* ansiTargetDir, HWND dialog, std::int64_t totalSize);

// Unpacks "jre.tar.gz" of directory (the launcher's temporary directory)
// into its "jre", which it creates, and selects it as the runtime. A damaged
// archive ends the process with message 20015 (1005 in older installers); an
// unusable runtime, after the search's message, with exit code 1.
void unpackJreArchive(HWND dialog, const AnsiText& directory);

// Files and directories below an absolute Windows directory. Paths of
// MAX_PATH or more go through the "\\?\" form of the wide functions. The
// archive's names are appended to the ANSI root and the whole is read as
// ANSI text: the same characters as the UTF-8 name only where it is ASCII.
class WinDirectoryTarget final : public TarTarget {
 public:
  explicit WinDirectoryTarget(const char* ansiRoot);
  bool makeDirectory(const char* utf8RelativePath) override;
  bool openFile(const char* utf8RelativePath) override;
  bool writeFile(const void* data, std::size_t n) override;
  bool closeFile() override;

 private:
  bool fullPath(const char* utf8RelativePath);
  char root_[PATH_BUFFER_SIZE];
  char path_[PATH_BUFFER_SIZE];
  static constexpr int WIDE_PATH_CAPACITY = PATH_BUFFER_SIZE + 8;
  wchar_t wide_[WIDE_PATH_CAPACITY];
  UniqueHandle file_;
};

}  // namespace plimo
