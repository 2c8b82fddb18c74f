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
// ustar with pax extensions where a name needs them, gzip-compressed. Entries
// are in sorted order with each directory before its contents (the launcher
// creates a file's directory only from an earlier directory entry). Times,
// owners and the gzip time stamp are fixed, so the same tree gives the same
// bytes. Symbolic links and special files are left out with a warning.
ArchiveResult writeRuntimeArchive(const std::filesystem::path& directory, const std::filesystem::path& archivePath);

}  // namespace plimo::pack
