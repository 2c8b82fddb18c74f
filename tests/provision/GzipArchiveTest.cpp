// The runtime archive's gzip layer (inflate straight from the file, the
// stub's own CRC-32 and Adler-32) against zlib's own results.
#include <zlib.h>

#include <fstream>
#include <string>

#include "gtest/gtest.h"
#include "provision/Checksums.h"
#include "provision/TarReader.h"
#include "tests/provision/TarTestSupport.h"

namespace plimo {
namespace {

std::string gzipMember(const std::string& data, int level = 6) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// A tar whose single file is big enough to span several reads.
std::string sampleTar(std::size_t bytes) {
  std::string body;
  for (std::size_t i = 0; body.size() < bytes; ++i) body += std::to_string(i * 2654435761u) + "\n";
  body.resize(bytes);
  return test::tarDir("jre/") + test::tarFile("jre/bin/data.txt", body) + test::tarEnd();
}

TEST(GzipArchive, FileFormsUnpackToTheSameFiles) {
  const std::string tar = sampleTar(300000);
  const std::string member = gzipMember(tar);
  const std::string half = tar.substr(0, 150528);  // a block boundary
  struct Case {
    const char* what;
    std::string file;
    TarStatus status;
  } cases[] = {
      {"plain tar passes through", tar, TarStatus::Ok},
      {"one gzip member", member, TarStatus::Ok},
      {"stored, not compressed", gzipMember(tar, 0), TarStatus::Ok},
      {"two members one after another", gzipMember(half) + gzipMember(tar.substr(half.size())), TarStatus::Ok},
      {"bytes after the last member are ignored", member + std::string(700, '\0'), TarStatus::Ok},
      {"a lone magic byte after the member", member + "\x1f", TarStatus::Ok},
      {"cut inside the member", member.substr(0, member.size() / 2), TarStatus::ReadError},
      {"damaged compressed data", member.substr(0, 40) + std::string(64, '\xff') + member.substr(104),
       TarStatus::ReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScratchRoot root;
    std::string path = (root.path() / "jre.tar.gz").string();
    std::ofstream(path, std::ios::binary).write(c.file.data(), static_cast<std::streamsize>(c.file.size()));
    test::MemoryTarget target;
    EXPECT_EQ(extractTarGzFile(path.c_str(), target, nullptr, 0), c.status);
    if (c.status == TarStatus::Ok) {
      ASSERT_EQ(target.files.count("jre/bin/data.txt"), 1u);
      EXPECT_EQ(target.files["jre/bin/data.txt"], tar.substr(1024, 300000));
    }
  }
}

// The stored bytes come from a source that can fail a read: a failed read
// fails the unpacking wherever it happens, also where a member ends on an
// entry boundary and the data could pass for a shorter archive.
TEST(GzipArchive, AFailedReadOfTheFileFailsTheUnpacking) {
  const std::string head = test::tarDir("jre/") + test::tarFile("jre/bin/java.dll", std::string(70000, 'j'));
  const std::string tail = test::tarFile("jre/lib/modules", std::string(90000, 'm')) + test::tarEnd();
  const std::string first = gzipMember(head);
  const std::string stored = first + gzipMember(tail);
  struct Case {
    const char* what;
    std::string bytes;
    std::size_t step, failAt;
    TarStatus status;
  } cases[] = {
      {"fails where the members meet, on an entry boundary", stored, 1u << 20, first.size(), TarStatus::ReadError},
      {"fails inside the second member", stored, 1u << 20, first.size() + 40, TarStatus::ReadError},
      {"plain tar, fails on an entry boundary", head + tail, 1u << 20, head.size(), TarStatus::ReadError},
      {"one byte per read", stored, 1, SIZE_MAX, TarStatus::Ok},
      {"the second magic cut between two reads", stored, first.size() + 1, SIZE_MAX, TarStatus::Ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::MemoryTarSource file(c.bytes, c.step, c.failAt);
    test::MemoryTarget target;
    EXPECT_EQ(extractTarGz(file, target, nullptr, 0), c.status);
    if (c.status == TarStatus::Ok) {
      EXPECT_EQ(target.files["jre/bin/java.dll"], std::string(70000, 'j'));
      EXPECT_EQ(target.files["jre/lib/modules"], std::string(90000, 'm'));
    }
  }
}

TEST(GzipArchive, MissingFileCannotBeOpened) {
  test::ScratchRoot root;
  test::MemoryTarget target;
  EXPECT_EQ(extractTarGzFile((root.path() / "absent.tar.gz").string().c_str(), target, nullptr, 0),
            TarStatus::OpenFailed);
}

TEST(GzipArchive, ChecksumsMatchZlibInAnyPieces) {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += static_cast<char>((i * 7919) ^ (i >> 3));
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  // Pieces around the Adler-32 run length and a single byte.
  for (std::size_t piece : {std::size_t(1), std::size_t(5551), std::size_t(5552), std::size_t(5553), data.size()}) {
    SCOPED_TRACE(piece);
    std::uint32_t crc = 0;
    std::uint32_t adler = 1;
    for (std::size_t at = 0; at < data.size(); at += piece) {
      std::size_t n = std::min(piece, data.size() - at);
      crc = crc32Update(crc, bytes + at, n);
      adler = adler32Update(adler, bytes + at, n);
    }
    EXPECT_EQ(crc, ::crc32(0, bytes, static_cast<uInt>(data.size())));
    EXPECT_EQ(adler, ::adler32(1, bytes, static_cast<uInt>(data.size())));
  }
  EXPECT_EQ(crc32Update(0, bytes, 0), 0u);
  EXPECT_EQ(adler32Update(1, bytes, 0), 1u);
  // All 0xFF bytes drive both sums to their largest intermediate values.
  std::string ones(100000, '\xff');
  const auto* high = reinterpret_cast<const unsigned char*>(ones.data());
  EXPECT_EQ(adler32Update(1, high, ones.size()), ::adler32(1, high, static_cast<uInt>(ones.size())));
  EXPECT_EQ(crc32Update(0, high, ones.size()), ::crc32(0, high, static_cast<uInt>(ones.size())));
}

}  // namespace
}  // namespace plimo
