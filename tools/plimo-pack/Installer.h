#pragma once
// Writing an installer (stub image, tables, payload records) and reading one
// back for inspect and extract. Payload data is streamed in chunks, never held
// whole in memory.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "block/ByteSource.h"
#include "block/ConfigStore.h"
#include "tools/plimo-pack/Project.h"

namespace plimo::pack {

// A ByteSource over a file opened with stdio (large files included).
class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(const std::filesystem::path& path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;
  bool isOpen() const { return file_ != nullptr; }
  std::uint64_t size() const override { return size_; }
  bool seek(std::uint64_t position) override;
  std::uint64_t position() const override { return position_; }
  std::size_t read(void* destination, std::size_t n, bool* failed = nullptr) override;

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

enum class Arch { X86, X64 };
// The PE machine of a stub: X86 or X64; false when it is neither or unreadable.
bool stubArch(const std::filesystem::path& stub, Arch& arch);

struct WriteResult {
  bool ok = false;
  std::string error;
  std::vector<std::string> warnings;
};

// Writes the installer for project at output: the stub's bytes up to the end
// of its image, the tables, the payload records (the bundled runtime last).
// Everything goes to a temporary file beside output that is renamed over it
// only when complete; on failure no file is left behind.
WriteResult writeInstaller(const Project& project, const std::filesystem::path& stub,
                           const std::filesystem::path& output);

struct PayloadEntry {
  PageText name;              // as listed in entry 2003
  std::int32_t length = 0;    // record length; 0 or less: no data
  std::uint64_t offset = 0;   // file offset of the data
};

struct InstallerContents {
  std::uint64_t imageEnd = 0;       // where the block starts
  std::uint64_t payloadOffset = 0;  // first byte after the wide table
  std::uint64_t payloadEnd = 0;     // first byte after the last record read
  std::uint64_t fileSize = 0;
  ConfigStore store;
  // Records in the order the launcher reads them: as many as entry 2002 says
  // and entry 2003 names.
  std::vector<PayloadEntry> payload;
};

// Reads the block of an installer. False with error when it has none or it is
// damaged (a record running past the end of the file, for instance).
bool readInstaller(const std::filesystem::path& path, InstallerContents& contents, std::string& error);

// Writes every payload record, unscrambled, into directory under its name
// (converted from codePage to UTF-8). Names that are not plain file names are
// refused before anything is written.
bool extractInstaller(const std::filesystem::path& path, const std::filesystem::path& directory,
                      const std::string& codePage, std::vector<std::string>& written, std::string& error);

}  // namespace plimo::pack
