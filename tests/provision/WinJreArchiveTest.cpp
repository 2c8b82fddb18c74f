// unpackJreArchive in-process under Wine: a jre.tar.gz made at build time by
// GNU tar or Python's tarfile is unpacked from a scratch current directory
// into "jre", with a real progress bar as control 1001.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "block/ConfigStore.h"
#include "provision/WinJreArchive.h"
#include "provision/WinJreArchive.h"
#include "tests/provision/TarTestSupport.h"
#include "tests/support/FatalTrap.h"
#include "tests/support/WinTestSupport.h"

namespace plimo {
namespace {

using test::FatalCalled;
using test::ManifestLine;
using test::ScratchDir;

std::vector<ManifestLine> readManifest() { return test::readManifest(test::binDir() + "tar-fixtures\\manifest.tsv"); }

// Paths below the scratch directory can pass MAX_PATH: go through "\\?\".
std::wstring longPath(const std::string& path) {
  std::wstring wide(L"\\\\?\\");
  for (char c : path) wide += static_cast<wchar_t>(c == '/' ? '\\' : static_cast<unsigned char>(c));
  return wide;
}

bool readLong(const std::string& path, std::string& out) {
  HANDLE file = CreateFileW(longPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  out.clear();
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(file);
  return true;
}

DWORD attributes(const std::string& path) { return GetFileAttributesW(longPath(path).c_str()); }

// A stand-in for the progress dialog: a window whose child 1001 is a
// progress bar with the range the worker sets before unpacking.
class ProgressWindow {
 public:
  ProgressWindow() {
    InitCommonControls();
    parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 50, nullptr, nullptr, nullptr, nullptr);
    bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 10, parent_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(1001)), nullptr, nullptr);
    SendMessageA(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, 150));
    SendMessageA(bar_, PBM_SETPOS, 0, 0);
  }
  ~ProgressWindow() { DestroyWindow(parent_); }
  HWND dialog() const { return parent_; }
  int position() const { return static_cast<int>(SendMessageA(bar_, PBM_GETPOS, 0, 0)); }
  bool valid() const { return parent_ != nullptr && bar_ != nullptr; }

 private:
  HWND parent_ = nullptr;
  HWND bar_ = nullptr;
};

class UnpackJreArchive : public ::testing::Test {
 protected:
  void TearDown() override {
    configStore() = ConfigStore{};
    test::clearShownMessages();
  }
  // Runs unpackJreArchive on dir; returns the exit code it ended with, or -1
  // when it returned (a runtime was accepted). The current directory is
  // elsewhere: only the directory given counts.
  int unpackIn(const ScratchDir& dir, HWND dialog) {
    try {
      unpackJreArchive(dialog, dir.path());
    } catch (const FatalCalled& fatal) {
      return fatal.exitCode;
    }
    return -1;
  }
};

TEST_F(UnpackJreArchive, UnpacksArchivesOfGnuTarAndPythonIntoJre) {
  std::vector<ManifestLine> manifest = readManifest();
  ASSERT_GT(manifest.size(), 20u);
  int archives = 0;
  for (const ManifestLine& archive : manifest) {
    if (archive.kind != 'Z') continue;
    ++archives;
    SCOPED_TRACE(archive.first);
    ScratchDir dir;
    ASSERT_TRUE(CopyFileA((test::binDir() + "tar-fixtures\\" + archive.first).c_str(), dir.file("jre.tar.gz").c_str(), FALSE));
    configStore().narrow[cfg::ARCHIVE_SIZE] = archive.second;
    ProgressWindow window;
    ASSERT_TRUE(window.valid());
    int exitCode = unpackIn(dir, window.dialog());
    // The test doubles are no runtime the search accepts: it ends, as the
    // failure it is.
    EXPECT_TRUE(exitCode == 1 || exitCode == -1) << exitCode;
    EXPECT_FALSE(test::pathExists(dir.file("jre.tar.gz")));
    std::string jre = dir.file("jre") + "\\";
    for (const ManifestLine& m : manifest) {
      if (m.kind == 'F') {
        std::string content;
        ASSERT_TRUE(readLong(jre + m.path, content)) << m.path;
        EXPECT_EQ(content.size(), std::stoul(m.first)) << m.path;
        unsigned long crc = crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
        EXPECT_EQ(crc, std::stoul(m.second, nullptr, 16)) << m.path;
      } else if (m.kind == 'D') {
        DWORD a = attributes(jre + m.path);
        EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) << m.path;
      } else if (m.kind == 'L') {
        EXPECT_EQ(attributes(jre + m.path), INVALID_FILE_ATTRIBUTES) << m.path;
      }
    }
    int position = window.position();
    EXPECT_GT(position, 0);
    EXPECT_LE(position, 100);
  }
  EXPECT_EQ(archives, 3);
}

TEST_F(UnpackJreArchive, ProgressStaysInsideTheBarWhateverEntry151Says) {
  std::string gnu = test::binDir() + "tar-fixtures\\jre-gnutar.tar.gz";
  struct Case {
    const char* value;  // null: entry absent
    int expected;
  } cases[] = {{nullptr, 0}, {"0", 0}, {"-5", 0}, {"1", 100}, {"junk", 0}};
  for (const Case& c : cases) {
    ScratchDir dir;
    ASSERT_TRUE(CopyFileA(gnu.c_str(), dir.file("jre.tar.gz").c_str(), FALSE));
    configStore() = ConfigStore{};
    if (c.value != nullptr) configStore().narrow[cfg::ARCHIVE_SIZE] = c.value;
    ProgressWindow window;
    unpackIn(dir, window.dialog());
    EXPECT_EQ(window.position(), c.expected) << (c.value ? c.value : "(absent)");
    std::string content;
    EXPECT_TRUE(readLong(dir.file("jre\\lib\\modules"), content));
  }
}

TEST_F(UnpackJreArchive, RefusesEntriesThatClimbOutOfJre) {
  const char* samples[] = {"zip-slip-win.tar", "zip-slip.tar"};
  for (const char* sample : samples) {
    SCOPED_TRACE(sample);
    ScratchDir dir;
    std::string source = std::string(PLIMO_SHARED_DIR) + "/vectors/tar/snyk-zip-slip/" + sample;
    ASSERT_TRUE(CopyFileA(source.c_str(), dir.file("jre.tar.gz").c_str(), FALSE));
    // Forty levels up from anywhere is the drive root.
    char drive[4] = {dir.path()[0], ':', '\\', '\0'};
    std::string outside[] = {std::string(drive) + "Temp\\evil.txt", std::string(drive) + "tmp\\evil.txt",
                             dir.file("evil.txt")};
    bool before[3];
    for (int i = 0; i < 3; ++i) before[i] = test::pathExists(outside[i]);
    // The refused entry makes the archive a damaged one.
    EXPECT_EQ(unpackIn(dir, nullptr), 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(test::pathExists(outside[i]), before[i]) << outside[i];
  }
}

// What is left below path, one line per entry with its attributes.
std::string listTree(const std::string& path) {
  std::string lines;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return lines;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    lines += "\n  " + path + "\\" + name + " " + std::to_string(entry.dwFileAttributes);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) lines += listTree(path + "\\" + name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return lines;
}

// A runtime archive that does not unpack to its end is not searched, loaded
// or kept: the run ends with the message for a damaged archive, or with 1005
// in an installer built before that message existed.
TEST_F(UnpackJreArchive, AnArchiveThatStopsMidwayIsNeitherUsedNorKept) {
  std::string runtime = test::tarDir("bin/") + test::tarFile("bin/java.exe", std::string(3000, 'j')) +
                        test::tarFile("bin/server/jvm.dll", std::string(5000, 'v')) + test::tarEnd();
  std::string gzipped;
  gzipped = test::readFile(test::binDir() + "tar-fixtures\\jre-python.tar.gz");
  ASSERT_GT(gzipped.size(), 1000u);
  std::string zipSlip = test::readFile(std::string(PLIMO_SHARED_DIR) + "/vectors/tar/snyk-zip-slip/zip-slip.tar");
  ASSERT_FALSE(zipSlip.empty());
  struct Case {
    const char* what;
    std::string archive;  // empty: no archive at all
  } cases[] = {
      {"tar cut inside a file's data", runtime.substr(0, 512 * 5 + 100)},
      {"tar cut inside a header", runtime.substr(0, 512 * 9 + 200)},
      // Cut inside bin/server/jvm.dll, before the entries with long paths.
      {"gzip member cut short", gzipped.substr(0, 20000)},
      {"entry name refused", zipSlip},
      {"archive gone", ""},
  };
  for (const Case& c : cases) {
    for (bool configured : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (configured ? ", message configured" : ", older installer"));
      configStore() = ConfigStore{};
      configStore().narrow[msg::JVM_NOT_STARTED] = "not started";
      if (configured) configStore().wide[wmsg::RUNTIME_ARCHIVE_DAMAGED] = u"archive damaged";
      test::clearShownMessages();
      ScratchDir dir;
      if (!c.archive.empty()) ASSERT_TRUE(test::writeFile(dir.file("jre.tar.gz"), c.archive));
      std::int32_t id = 0;
      try {
        unpackJreArchive(nullptr, dir.path());
      } catch (const FatalCalled& fatal) {
        id = fatal.id;
        EXPECT_EQ(fatal.exitCode, 1);
      }
      EXPECT_EQ(id, configured ? wmsg::RUNTIME_ARCHIVE_DAMAGED : msg::JVM_NOT_STARTED);
      // Only that message: the search never looked at the partial runtime.
      EXPECT_EQ(test::shownMessages().size(), 1u);
      EXPECT_FALSE(test::pathExists(dir.file("jre"))) << "the partly unpacked runtime stayed:" << listTree(dir.file("jre"));
      EXPECT_FALSE(test::pathExists(dir.file("jre.tar.gz")));
    }
  }
}

TEST_F(UnpackJreArchive, ExtractTarGzWritesBelowTheGivenDirectoryOnly) {
  ScratchDir dir;
  std::string target = dir.file("target");
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
  EXPECT_TRUE(extractTarGz((test::binDir() + "tar-fixtures\\jre-python.tar.gz").c_str(), target.c_str(), nullptr, 0));
  EXPECT_TRUE(test::pathExists(target + "\\bin\\java.exe"));
  EXPECT_FALSE(extractTarGz(dir.file("missing.tar.gz").c_str(), target.c_str(), nullptr, 0));
  // A target that does not exist: nothing can be created.
  EXPECT_FALSE(extractTarGz((test::binDir() + "tar-fixtures\\jre-python.tar.gz").c_str(), dir.file("absent").c_str(),
                            nullptr, 0));
}

}  // namespace
}  // namespace plimo
