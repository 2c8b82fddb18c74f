// The path utilities against the real file system and command line (Wine).
#include <gtest/gtest.h>

#include <cctype>

#include "jvmsearch/WinPaths.h"
#include "tests/support/WinTestSupport.h"

namespace plimo::test {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(WinPaths, ExecutablePathIsTheTestProgramInLowerCase) {
  char module[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(executablePath()), lower(std::string(module, n)));
}

TEST(WinPaths, ConfiguredPathsResolveAgainstTheExecutableDirectory) {
  std::string dir = lower(binDir());
  EXPECT_EQ(resolveAgainstExeDir(""), dir);
  EXPECT_EQ(resolveAgainstExeDir("jre"), dir + "jre");
  EXPECT_EQ(resolveAgainstExeDir("\\Jre\\\\Bin"), dir + "Jre\\Bin");  // case kept, seam single
  EXPECT_EQ(resolveAgainstExeDir("c:/java"), dir + "c:/java");
  EXPECT_EQ(resolveAgainstExeDir("D:\\Java"), "D:\\Java");

  std::string noSlash = dir.substr(0, dir.size() - 1);
  EXPECT_EQ(normalizePath("jre"), dir + "jre");
  EXPECT_EQ(normalizePath("\\jre"), dir + "jre");
  EXPECT_EQ(normalizePath("."), noSlash);
  EXPECT_EQ(normalizePath("Sub/Dir/../X"), dir + "sub\\x");
  EXPECT_EQ(normalizePath("D:\\Java\\J2RE1.4.2\\bin\\..\\bin\\java.exe"), "d:\\java\\j2re1.4.2\\bin\\java.exe");
  EXPECT_EQ(normalizePath(std::string(9000, 'a')), "");
}

TEST(WinPaths, ExistenceAndFileTimes) {
  ScratchDir dir;
  std::string file = dir.file("probe.txt");
  ASSERT_TRUE(writeFile(file, "x"));
  FILETIME stamp{0x89ABCDEFu, 0x01D2C3B4u};
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &stamp));
  CloseHandle(h);

  std::uint64_t time = 0;
  EXPECT_TRUE(findFileTime(file.c_str(), &time));
  EXPECT_EQ(time, 0x01D2C3B489ABCDEFull);
  EXPECT_TRUE(findFileTime(dir.path().c_str(), nullptr));
  time = 7;
  EXPECT_FALSE(findFileTime(dir.file("missing").c_str(), &time));
  EXPECT_EQ(time, 7u);  // untouched on failure

  EXPECT_TRUE(fileExists(file.c_str()));
  EXPECT_TRUE(fileExists(dir.path().c_str()));
  EXPECT_FALSE(fileExists(dir.file("missing").c_str()));
  EXPECT_FALSE(fileExists(dir.file("missing\\deeper").c_str()));
  EXPECT_FALSE(fileExists(""));
  // Drive roots exist by their text alone, even for a drive that is absent;
  // no such rule for the file time.
  EXPECT_TRUE(fileExists("q:\\.\\."));
  EXPECT_TRUE(fileExists("q:\\"));
  EXPECT_FALSE(findFileTime("q:\\", nullptr));
}

}  // namespace
}  // namespace plimo::test
