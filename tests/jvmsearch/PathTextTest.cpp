#include <gtest/gtest.h>

#include "jvmsearch/PathText.h"
#include "launcher/Limits.h"

namespace plimo {
namespace {

TEST(PathText, RelativeInTheLaunchersSense) {
  struct Case {
    const char* path;
    bool relative;
  } cases[] = {
      {"c:\\x", false},      {"\"c:\\x\"", false},   {"\\\\host\\share", false}, {"\"\\\\host\"", false},
      {"c:/x", true},        {"c:x", true},          {"\\x", true},              {"jre", true},
      {".", true},           {"", true},             {"c:", true},               {"\"c:\"", true},
      {"\"c:\\", false},     {"\"ab", true},         {"\"abc", true},            {"c:\\", false},
      {"/unix/path", true},  {"x:\\..", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isRelativePath(c.path), c.relative) << c.path;
}

TEST(PathText, DriveRootsAreRecognisedByTextAlone) {
  for (const char* root : {"c:\\", "d:\\.", "e:\\.\\.", "?:\\"}) EXPECT_TRUE(isDriveRoot(root)) << root;
  for (const char* other : {"c:", "c:\\\\", "c:\\.\\", "c:\\..", "c:\\x", "", "c", "cc:\\"}) {
    EXPECT_FALSE(isDriveRoot(other)) << other;
  }
}

TEST(PathText, CollapsingKeepsOneBackslashAndANetworkPrefix) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"c:\\setup\\\\jre", "c:\\setup\\jre"},
      {"a\\\\\\b", "a\\b"},
      {"a\\b\\", "a\\b\\"},
      {"", ""},
      {"\\", "\\"},
      {"\\\\host\\\\share", "\\\\host\\share"},
      {"\\\\\\host", "\\\\host"},
      {"x\\\\", "x\\"},
  };
  for (Case& c : cases) {
    std::string path = c.in;
    collapseBackslashes(path);
    EXPECT_EQ(path, c.out) << c.in;
  }
}

TEST(PathText, ProgramNameComesFromTheCommandLine) {
  struct Case {
    const char* line;
    bool ok;
    const char* name;
  } cases[] = {
      {"C:\\Setup\\Inst.exe /manual", true, "C:\\Setup\\Inst.exe"},
      {"setup.exe", true, "setup.exe"},
      {"\"C:\\Program Files\\a b.exe\" x", true, "C:\\Program Files\\a b.exe"},
      {"\"C:\\unclosed quote", false, "untouched"},
      {"", true, ""},
      {"a\tb c", true, "a\tb"},
  };
  for (const Case& c : cases) {
    std::string name = "untouched";
    EXPECT_EQ(programNameFromCommandLine(c.line, name), c.ok) << c.line;
    EXPECT_EQ(name, c.name) << c.line;
  }
}

TEST(PathText, JoiningWithTheExecutableDirectory) {
  const std::string dir = "c:\\setup\\";
  struct Case {
    std::string source;
    std::string joined;
  } cases[] = {
      {"jre", "c:\\setup\\jre"},
      {"\\jre", "c:\\setup\\jre"},
      {".", "c:\\setup\\."},
      {"..\\Up", "c:\\setup\\..\\Up"},
      {"", "c:\\setup\\"},
      {"c:/java", "c:\\setup\\c:/java"},
      {"c:java", "c:\\setup\\c:java"},
      {"D:\\Java\\\\J2RE", "D:\\Java\\J2RE"},
      {"\\\\host\\share\\j", "\\\\host\\share\\j"},
  };
  for (const Case& c : cases) EXPECT_EQ(joinWithExeDir(dir, c.source), c.joined) << c.source;
}

TEST(PathText, ATooLongJoinIsRefusedNotCut) {
  std::string exact(MAX_VALUE_LENGTH - 9, 'a');
  EXPECT_EQ(joinWithExeDir("c:\\setup\\", exact).size(), MAX_VALUE_LENGTH);
  EXPECT_EQ(joinWithExeDir("c:\\setup\\", exact + "b"), "");
  EXPECT_EQ(joinWithExeDir("c:\\setup\\", "c:\\" + std::string(MAX_VALUE_LENGTH, 'x')), "");
}

TEST(PathText, DirectoryPartAndLowerCase) {
  EXPECT_EQ(directoryPart("c:\\setup\\inst.exe"), "c:\\setup\\");
  EXPECT_EQ(directoryPart("inst.exe"), "");
  std::string text = "C:\\Program Files\\\xC4Z";
  lowerCaseAscii(text);
  EXPECT_EQ(text, "c:\\program files\\\xC4z");
}

}  // namespace
}  // namespace plimo
