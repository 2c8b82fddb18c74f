#pragma once
// What plimo-pack needs of the host system beyond the C++ library: files
// opened by path in any script, the folder of the running binary, and an
// output that appears complete or not at all. One implementation per host
// family: posix/HostFiles.cpp (Linux), windows/HostFiles.cpp (Windows).
#include <cstdio>
#include <filesystem>

namespace plimo::pack {

// fopen by path; on Windows through the wide API, so the path is taken whole.
// Null when the file cannot be opened (errno says why).
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// The folder that holds the running plimo-pack; empty when the system cannot say.
std::filesystem::path toolDirectory();

// Whether a runtime file is stored as executable (mode 0755) in the bundled
// runtime archive: its owner-execute bit where the host has such bits, its
// extension (.exe, .dll) on Windows, where it has none.
bool storedAsExecutable(const std::filesystem::path& file, const std::filesystem::file_status& status);

// Creates a new, empty folder in the system's temporary folder, named
// "STEM-XXXXXX" (six random characters); false when it cannot (errno says why).
bool makeTemporaryDirectory(const char* stem, std::filesystem::path& created);

// A file created beside its final name (".NAME.XXXXXX" in the same folder,
// opened for binary writing) and removed unless committed.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& besides);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Null when the file could not be created.
  std::FILE* file() const { return file_; }
  const std::filesystem::path& path() const { return path_; }
  // Flushes to the disk and closes; false when buffered data could not be written.
  bool close();
  // Closes, makes the file executable where the host has such a mark, and
  // moves it over target (replacing a file there).
  bool commit(const std::filesystem::path& target);

 private:
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
};

}  // namespace plimo::pack
