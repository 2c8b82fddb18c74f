// Runtime-shaped archives made at build time by GNU tar (its own format and
// pax) and by Python's tarfile, unpacked by the reader into a scratch
// directory and compared file by file with the tree they were made from.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "provision/TarReader.h"
#include "tests/provision/TarTestSupport.h"

#ifndef PLIMO_TAR_FIXTURES
#error "PLIMO_TAR_FIXTURES names the directory of the generated archives"
#endif

namespace plimo {
namespace {

using test::ManifestLine;

std::vector<ManifestLine> readManifest() {
  return test::readManifest(std::string(PLIMO_TAR_FIXTURES) + "/manifest.tsv");
}

TEST(GeneratedRuntimeArchive, UnpacksEveryFileOfEveryWriter) {
  std::vector<ManifestLine> manifest = readManifest();
  ASSERT_GT(manifest.size(), 20u) << "manifest missing in " << PLIMO_TAR_FIXTURES;
  int archives = 0;
  for (const ManifestLine& archive : manifest) {
    if (archive.kind != 'Z') continue;
    ++archives;
    SCOPED_TRACE(archive.first);
    test::MemoryTarget target;
    test::RecordingProgress progress;
    progress.tickStep = 250;
    std::int64_t total = std::stoll(archive.second);
    std::string path = std::string(PLIMO_TAR_FIXTURES) + "/" + archive.first;
    ASSERT_EQ(extractTarGzFile(path.c_str(), target, &progress, total), TarStatus::Ok);
    std::size_t expectedFiles = 0;
    for (const ManifestLine& m : manifest) {
      if (m.kind == 'F') {
        ++expectedFiles;
        auto it = target.files.find(m.path);
        ASSERT_NE(it, target.files.end()) << m.path;
        EXPECT_EQ(it->second.size(), std::stoul(m.first)) << m.path;
        unsigned long crc = crc32(0L, reinterpret_cast<const Bytef*>(it->second.data()),
                                  static_cast<uInt>(it->second.size()));
        EXPECT_EQ(crc, std::stoul(m.second, nullptr, 16)) << m.path;
      } else if (m.kind == 'D') {
        EXPECT_EQ(target.directories.count(m.path), 1u) << m.path;
      } else if (m.kind == 'L') {
        EXPECT_EQ(target.files.count(m.path), 0u) << m.path;
      }
    }
    EXPECT_EQ(target.files.size(), expectedFiles);
    // The bar moves forward and ends at the decompressed size's end.
    ASSERT_FALSE(progress.positions.empty());
    for (std::size_t i = 1; i < progress.positions.size(); ++i) {
      EXPECT_GE(progress.positions[i], progress.positions[i - 1]);
    }
    EXPECT_LE(progress.positions.back(), 100);
    EXPECT_GE(progress.positions.back(), 50);
  }
  EXPECT_EQ(archives, 3);
}

}  // namespace
}  // namespace plimo
