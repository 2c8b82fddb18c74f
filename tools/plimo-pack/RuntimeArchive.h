#pragma once
// Packs a Java runtime directory as the gzip-compressed tar archive that the
// launcher unpacks ("jre.tar.gz").
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace plimo::pack {

struct ArchiveResult {
  bool ok = false;
  std::string error;
  std::uint64_t decompressedSize = 0;  // bytes of the tar stream, for entry 151
  std::vector<std::string> warnings;
};

// Writes every directory and regular file below directory into archivePath:
// ustar headers, a pax "path" record before an entry whose name does not fit
// ustar's name and prefix fields, two zero blocks at the end, all compressed
// with gzip. Entries are in byte order of their names with each directory
// before its contents. Times, owners and the gzip header are fixed and modes
// are 0755 (directories, executable files) or 0644, so the same tree gives the
// same bytes. Symbolic links and special files are left out with a warning.
ArchiveResult writeRuntimeArchive(const std::filesystem::path& directory, const std::filesystem::path& archivePath);

}  // namespace plimo::pack
