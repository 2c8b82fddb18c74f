// The reader over third-party archives (Go's archive/tar and libarchive test
// data, tar-split's gzip files, the zip-slip samples): what they must unpack
// to, and for every archive in the collection that it ends, writes nothing
// outside the target and reads the gzip form like the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "provision/TarReader.h"
#include "tests/provision/TarTestSupport.h"

namespace plimo {
namespace {

namespace fs = std::filesystem;

std::string vectors() { return std::string(PLIMO_SHARED_DIR) + "/vectors/tar/"; }

TarStatus extractInMemory(const std::string& path, test::MemoryTarget& target) {
  return extractTarGzFile(path.c_str(), target, nullptr, 0);
}

struct Expected {
  const char* file;
  TarStatus status;
  // name -> size, and the content where it is known (empty: not checked)
  std::vector<std::tuple<std::string, std::size_t, std::string>> files;
};

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string paxLongName() {
  std::string name = "a/";
  for (int i = 1; i <= 100; ++i) name += std::to_string(i);
  return name;
}

TEST(TarVectors, UnpackToWhatTheirTestSuitesExpect) {
  const std::string kilts = "Kilts";
  const std::string google = "Google.com\n";
  const std::string fat = repeat("asfd/asdf/asdf/asfd/", 1) + repeat("asdf/", 13) + "axcdfasdfasdfasdfasdfasdfasdfasdfasdfasdf.";
  const Expected expected[] = {
      {"go-archive-tar/gnu.tar", TarStatus::Ok, {{"small.txt", 5, kilts}, {"small2.txt", 11, google}}},
      {"go-archive-tar/star.tar", TarStatus::Ok, {{"small.txt", 5, kilts}, {"small2.txt", 11, google}}},
      {"go-archive-tar/v7.tar", TarStatus::Ok, {}},  // no ustar magic: not read
      {"go-archive-tar/ustar.tar", TarStatus::Ok, {{repeat("longname/", 15) + "file.txt", 6, "hello\n"}}},
      {"go-archive-tar/ustar-file-reg.tar", TarStatus::Ok, {{"foo", 684, ""}}},
      {"go-archive-tar/ustar-file-devs.tar", TarStatus::Ok, {{"file", 0, ""}}},
      {"go-archive-tar/pax.tar", TarStatus::Ok, {{paxLongName(), 7, ""}}},
      {"go-archive-tar/pax-pos-size-file.tar", TarStatus::Ok, {{"foo", 999, ""}}},
      {"go-archive-tar/pax-records.tar", TarStatus::Ok, {{"file", 0, ""}}},
      {"go-archive-tar/pax-global-records.tar", TarStatus::Ok,
       {{"file1", 0, ""}, {"file2", 0, ""}, {"file3", 0, ""}, {"file4", 0, ""}}},
      {"go-archive-tar/pax-multi-hdrs.tar", TarStatus::Ok, {}},  // a symbolic link only
      {"go-archive-tar/gnu-multi-hdrs.tar", TarStatus::Ok, {}},
      {"go-archive-tar/gnu-long-nul.tar", TarStatus::Ok, {{"0123456789", 0, ""}}},
      {"go-archive-tar/gnu-utf8.tar", TarStatus::Ok, {{repeat("\xE2\x98\xBA\xE2\x98\xBB\xE2\x98\xB9", 18), 0, ""}}},
      {"go-archive-tar/gnu-not-utf8.tar", TarStatus::Ok, {{"hi\x80\x81\x82\x83" "bye", 0, ""}}},
      {"go-archive-tar/trailing-slash.tar", TarStatus::Ok, {}},
      {"go-archive-tar/hardlink.tar", TarStatus::Ok, {{"file.txt", 15, "Slartibartfast\n"}}},
      {"go-archive-tar/writer.tar", TarStatus::Ok, {{"small.txt", 5, kilts}, {"small2.txt", 11, google}}},
      {"go-archive-tar/file-and-dir.tar", TarStatus::Ok, {{"small.txt", 5, kilts}}},
      {"go-archive-tar/writer-big.tar", TarStatus::BadHeader, {}},       // base-256 size of 16 GiB
      {"go-archive-tar/writer-big-long.tar", TarStatus::BadHeader, {}},  // pax size of 16 GiB
      {"go-archive-tar/nil-uid.tar", TarStatus::Ok, {{"P1050238.JPG.log", 14, ""}}},
      {"go-archive-tar/gnu-incremental.tar", TarStatus::Ok, {{"test2/foo", 64, ""}}},
      {"go-archive-tar/sparse-formats.tar", TarStatus::Ok, {{"end", 4, "end\n"}}},
      {"go-archive-tar/xattrs.tar", TarStatus::Ok, {{"small.txt", 5, kilts}, {"small2.txt", 11, google}}},
      {"go-archive-tar/pax-nul-xattrs.tar", TarStatus::BadHeader, {}},
      {"go-archive-tar/pax-nul-path.tar", TarStatus::BadHeader, {}},
      {"go-archive-tar/pax-bad-hdr-file.tar", TarStatus::BadHeader, {}},
      {"go-archive-tar/hdr-only.tar", TarStatus::Ok, {{"file", 46, ""}}},
      {"go-archive-tar/issue11169.tar", TarStatus::Truncated, {}},
      {"libarchive/bsdtar_test_leading_slash.tar", TarStatus::UnsafeName, {}},
      {"libarchive/lib_test_compat_gtar_1.tar", TarStatus::Ok,
       {{repeat("1234567890", 20), 0, ""}}},
      {"libarchive/lib_test_compat_gzip_1.tgz", TarStatus::Ok,
       {{"f1", 3, "f1\n"}, {"f2", 3, "f2\n"}, {"f3", 3, "f3\n"}, {"d1/f1", 3, "f1\n"}, {"d1/f2", 3, "f2\n"}, {"d1/f3", 3, "f3\n"}}},
      {"libarchive/lib_test_compat_gzip_2.tgz", TarStatus::Ok,  // trailing garbage after the gzip data
       {{"f1", 3, "f1\n"}, {"f2", 3, "f2\n"}, {"f3", 3, "f3\n"}, {"d1/f1", 3, "f1\n"}, {"d1/f2", 3, "f2\n"}, {"d1/f3", 3, "f3\n"}}},
      {"libarchive/lib_test_compat_perl_archive_tar.tar", TarStatus::Ok, {{"file1", 5, "abcd\n"}}},
      {"libarchive/lib_test_compat_plexus_archiver_tar.tar", TarStatus::Ok, {{"commons-logging-1.2/NOTICE.txt", 177, ""}}},
      {"libarchive/lib_test_read_format_tar_empty_filename.tar", TarStatus::Ok, {}},
      {"libarchive/lib_test_read_format_tar_concatenated.tar", TarStatus::Ok, {{"file1", 0, ""}}},
      {"libarchive/lib_test_read_format_tar_empty_with_gnulabel.tar", TarStatus::Ok, {}},
      {"libarchive/lib_test_read_format_tar_V_negative_size.tar", TarStatus::Ok, {}},  // no ustar magic
      {"libarchive/lib_test_read_format_tar_pax_g_large.tar", TarStatus::BadHeader, {}},
      {"libarchive/lib_test_read_pax_empty_val_no_nl.tar", TarStatus::Ok, {{"empty", 0, ""}}},
      {"libarchive/decompressed/lib_test_read_format_tar_empty_pax.tar", TarStatus::Ok, {}},
      {"libarchive/c-arrays/test_read_format_gtar_gz.tar.gz", TarStatus::Ok, {}},
      {"snyk-zip-slip/zip-slip.tar", TarStatus::UnsafeName, {{"good.txt", 19, "this is a good one\n"}}},
      {"snyk-zip-slip/zip-slip-win.tar", TarStatus::UnsafeName, {{"good.txt", 19, "this is a good one\n"}}},
      {"tar-split-asm/t.tar.gz", TarStatus::Ok, {{"./hurr.txt", 19, "imma hurr til derp\n"}, {"./ermahgerd.txt", 27, ""}}},
      {"tar-split-asm/fatlonglink.tar.gz", TarStatus::Ok,
       {{fat + "1", 5242880, ""}, {fat + "2", 5242880, ""}, {fat + "3", 5242880, ""}, {fat + "4", 5242880, ""}, {fat + "5", 5242880, ""}}},
      {"tar-split-asm/longlink.tar.gz", TarStatus::Ok, {{fat.substr(0, fat.size() - 1), 0, ""}}},
      {"tar-split-asm/iso-8859.tar.gz", TarStatus::Ok, {{"data/file-with-german-umlaut-ae-\xE4", 15, "arbitrary data\n"}}},
      {"tar-split-asm/extranils.tar.gz", TarStatus::Ok, {{"file", 0, ""}}},
      {"tar-split-asm/notenoughnils.tar.gz", TarStatus::Ok, {{"file", 0, ""}}},
      {"tar-split-asm/1c51fc286aa95d9413226599576bafa38490b1e292375c90de095855b64caea6", TarStatus::Ok, {{"true", 124, ""}}},
  };
  for (const Expected& e : expected) {
    test::MemoryTarget target;
    EXPECT_EQ(extractInMemory(vectors() + e.file, target), e.status) << e.file;
    std::map<std::string, std::size_t> sizes;
    for (const auto& f : target.files) sizes[f.first] = f.second.size();
    std::map<std::string, std::size_t> expectedSizes;
    for (const auto& f : e.files) {
      std::string name = std::get<0>(f);
      if (name.rfind("./", 0) == 0) name = name.substr(2);
      expectedSizes[name] = std::get<1>(f);
      if (!std::get<2>(f).empty()) EXPECT_EQ(target.files[name], std::get<2>(f)) << e.file << ": " << name;
    }
    EXPECT_EQ(sizes, expectedSizes) << e.file;
  }
}

TEST(TarVectors, DirectoriesWithLongAndUnlistedParentsAreCreated) {
  test::MemoryTarget target;
  ASSERT_EQ(extractInMemory(vectors() + "go-archive-tar/trailing-slash.tar", target), TarStatus::Ok);
  EXPECT_EQ(target.directories.count(repeat("123456789/", 29) + "123456789"), 1u);
  EXPECT_EQ(target.directories.size(), 30u);
}

// The truncation slices Go's tests build: where Go sees an unexpected end in
// the data or a header, the reader fails; where the cut falls after whole
// entries, it succeeds. (It stops at the first zero block, so trailing bytes
// after it are never read, and a pax record with no entry after it counts as
// truncated.)
TEST(TarVectors, TruncatedSlicesFailInsideEntries) {
  const std::map<std::string, TarStatus> expected = {
      {"empty.tar", TarStatus::Ok},
      {"gnu_511.tar", TarStatus::Truncated},        {"gnu_512.tar", TarStatus::Truncated},
      {"gnu_1024.tar", TarStatus::Ok},              {"gnu_1536.tar", TarStatus::Truncated},
      {"gnu_2048.tar", TarStatus::Ok},              {"gnu_full.tar", TarStatus::Ok},
      {"gnu2048+ustar1536.tar", TarStatus::Ok},
      {"ustar_511.tar", TarStatus::Truncated},      {"ustar_512.tar", TarStatus::Truncated},
      {"ustar_1195.tar", TarStatus::Truncated},     {"ustar_1196.tar", TarStatus::Ok},
      {"ustar_1200.tar", TarStatus::Ok},            {"ustar_1535.tar", TarStatus::Ok},
      {"ustar_1536.tar", TarStatus::Ok},            {"ustar_1536+trash1.tar", TarStatus::Truncated},
      {"ustar_1536+trash511.tar", TarStatus::Truncated}, {"ustar_1536+trash512.tar", TarStatus::Ok},
      {"ustar_2048.tar", TarStatus::Ok},            {"ustar_2048+trash1.tar", TarStatus::Ok},
      {"ustar_2560+trash512.tar", TarStatus::Ok},   {"ustar_3072.tar", TarStatus::Ok},
      {"paxhdr_only.tar", TarStatus::Truncated},    {"paxhdr+trash1.tar", TarStatus::Truncated},
      {"paxhdr+trash511.tar", TarStatus::Truncated},
      {"sparse_511.tar", TarStatus::Truncated},     {"sparse_512.tar", TarStatus::Truncated},
      {"sparse_3584.tar", TarStatus::Ok},           {"sparse_9200.tar", TarStatus::Truncated},
      {"sparse_9728.tar", TarStatus::Truncated},    {"sparse_10240.tar", TarStatus::Ok},
      {"sparse_11264.tar", TarStatus::Truncated},   {"sparse_full.tar", TarStatus::Ok},
  };
  for (const auto& e : expected) {
    test::MemoryTarget target;
    EXPECT_EQ(extractInMemory(vectors() + "go-truncation-derived/" + e.first, target), e.second) << e.first;
    if (e.first.rfind("ustar_1195", 0) == 0) EXPECT_EQ(target.files["foo"].size(), 683u);
  }
}

bool isArchiveCandidate(const fs::path& path) {
  static const char* const SKIPPED[] = {".md", ".uu", ".tsv", ".Z", ".bz2", ".xz", ".lz", ".lzma", ".py"};
  std::string name = path.filename().string();
  if (name == "SHA256SUMS") return false;
  for (const char* suffix : SKIPPED) {
    std::string s = suffix;
    if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) return false;
  }
  return true;
}

// Everything the collection holds, unpacked into a real directory: the call
// ends, and nothing appears beside the target (a name that escaped would).
TEST(TarVectors, EveryArchiveEndsAndWritesNothingOutsideTheTarget) {
  std::vector<fs::path> archives;
  for (const auto& entry : fs::recursive_directory_iterator(vectors())) {
    if (entry.is_regular_file() && isArchiveCandidate(entry.path())) archives.push_back(entry.path());
  }
  std::sort(archives.begin(), archives.end());
  ASSERT_GT(archives.size(), 150u);
  fs::path outsideA = fs::temp_directory_path() / "evil.txt";
  fs::path outsideB = fs::path(fs::temp_directory_path().root_path()) / "tmp" / "evil.txt";
  bool aBefore = fs::exists(outsideA), bBefore = fs::exists(outsideB);
  for (const fs::path& archive : archives) {
    SCOPED_TRACE(archive.string());
    test::ScratchRoot root;
    fs::path jre = root.path() / "jre";
    fs::create_directory(jre);
    test::DirectoryTarget target(jre.string());
    TarStatus status = extractTarGzFile(archive.string().c_str(), target, nullptr, 0);
    std::vector<fs::path> beside;
    for (const auto& entry : fs::directory_iterator(root.path())) beside.push_back(entry.path().filename());
    EXPECT_EQ(beside, std::vector<fs::path>{"jre"});
    for (const std::string& name : target.requested) {
      char check[PATH_BUFFER_SIZE];
      EXPECT_TRUE(sanitizeTarName(name.data(), name.size(), check, sizeof check) && name == check) << name;
    }
    // The in-memory target reaches the same verdict, unless the file system
    // refused a name (Windows does for some byte sequences).
    test::MemoryTarget memory;
    if (status != TarStatus::CreateFailed) EXPECT_EQ(extractInMemory(archive.string(), memory), status);
  }
  EXPECT_EQ(fs::exists(outsideA), aBefore);
  EXPECT_EQ(fs::exists(outsideB), bBefore);
}

// The mechanically gzipped copies must unpack exactly like their originals.
TEST(TarVectors, GzipCopiesUnpackLikeTheirOriginals) {
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(vectors() + "gz-derived")) {
    std::string name = entry.path().filename().string();
    std::size_t split = name.find("__");
    ASSERT_NE(split, std::string::npos) << name;
    std::string original = vectors() + name.substr(0, split) + "/" + name.substr(split + 2, name.size() - split - 5);
    if (!fs::exists(original)) {
      // Sub-folders of a collection are joined with "__" as well.
      std::string rest = name.substr(split + 2, name.size() - split - 5);
      std::size_t again = rest.find("__");
      if (again == std::string::npos) continue;
      original = vectors() + name.substr(0, split) + "/" + rest.substr(0, again) + "/" + rest.substr(again + 2);
      if (!fs::exists(original)) continue;
    }
    test::MemoryTarget plain, gzipped;
    TarStatus a = extractInMemory(original, plain);
    TarStatus b = extractInMemory(entry.path().string(), gzipped);
    EXPECT_EQ(a, b) << name;
    EXPECT_EQ(plain.files, gzipped.files) << name;
    EXPECT_EQ(plain.directories, gzipped.directories) << name;
    ++compared;
  }
  EXPECT_GT(compared, 90);
}

}  // namespace
}  // namespace plimo
