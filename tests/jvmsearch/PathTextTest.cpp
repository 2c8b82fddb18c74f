#include <gtest/gtest.h>

#include "block/Limits.h"
#include "jvmsearch/PathText.h"

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
    unsigned page = 1252;
  } cases[] = {
      {"c:\\setup\\\\jre", "c:\\setup\\jre"},
      {"a\\\\\\b", "a\\b"},
      {"a\\b\\", "a\\b\\"},
      {"", ""},
      {"\\", "\\"},
      {"\\\\host\\\\share", "\\\\host\\share"},
      {"\\\\\\host", "\\\\host"},
      {"x\\\\", "x\\"},
      // 表 (0x95 0x5C in 932, 0xB3 0x5C is 許 in 950) followed by a separator
      // keeps both; a doubled separator after it still collapses.
      {"c:\\\x95\x5C\\app.jar", "c:\\\x95\x5C\\app.jar", 932},
      {"c:\\\x95\x5C\\\\app.jar", "c:\\\x95\x5C\\app.jar", 932},
      {"c:\\\xB3\x5C\\app.jar", "c:\\\xB3\x5C\\app.jar", 950},
      {"c:\\\xB3\x5C\\app.jar", "c:\\\xB3\x5C\\app.jar", 936},
      {"\\\\\x95\x5C\\x", "\\\\\x95\x5C\\x", 932},
      // Where 0x95 is a character of its own, 0x5C is a separator.
      {"c:\\\x95\x5C\\app.jar", "c:\\\x95\x5C" "app.jar", 1252},
      {"c:\\\x95\x5C\\app.jar", "c:\\\x95\x5C" "app.jar", 65001},
      // A lead byte cut off at the end stands alone.
      {"c:\\\x95", "c:\\\x95", 932},
  };
  for (Case& c : cases) {
    std::string path = c.in;
    collapseBackslashes(path, CodePage(c.page));
    EXPECT_EQ(path, c.out) << c.in << " in " << c.page;
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
  for (const Case& c : cases) EXPECT_EQ(joinWithExeDir(dir, c.source, CodePage(1252)), c.joined) << c.source;
  // The executable folder ends in a double-byte character and its separator.
  EXPECT_EQ(joinWithExeDir("c:\\\x95\x5C\\", "\\jre", CodePage(932)), "c:\\\x95\x5C\\jre");
}

TEST(PathText, ATooLongJoinIsRefusedNotCut) {
  std::string exact(MAX_VALUE_LENGTH - 9, 'a');
  CodePage ansi(1252);
  EXPECT_EQ(joinWithExeDir("c:\\setup\\", exact, ansi).size(), MAX_VALUE_LENGTH);
  EXPECT_EQ(joinWithExeDir("c:\\setup\\", exact + "b", ansi), "");
  EXPECT_EQ(joinWithExeDir("c:\\setup\\", "c:\\" + std::string(MAX_VALUE_LENGTH, 'x'), ansi), "");
}

TEST(PathText, DirectoryPartAndLowerCase) {
  struct Case {
    unsigned page;
    std::string path;
    std::string directory;
    std::string lowered;
  } cases[] = {
      {1252, "c:\\setup\\inst.exe", "c:\\setup\\", "c:\\setup\\inst.exe"},
      {1252, "inst.exe", "", "inst.exe"},
      {1252, "C:\\Program Files\\\xC4Z", "C:\\Program Files\\", "c:\\program files\\\xC4z"},
      // C:\Users\タナカ\setup.exe: カ is 0x83 0x4A ('J'), which stays.
      {932, "C:\\Users\\\x83\x5E\x83\x69\x83\x4A\\Setup.exe", "C:\\Users\\\x83\x5E\x83\x69\x83\x4A\\",
       "c:\\users\\\x83\x5E\x83\x69\x83\x4A\\setup.exe"},
      // A file named a表.exe: its 0x5C is no separator.
      {932, "c:\\D\\a\x95\x5C.exe", "c:\\D\\", "c:\\d\\a\x95\x5C.exe"},
      // Korean (949) second bytes run from 'A'.
      {949, "C:\\\x81\x41\x81\x5A\\X", "C:\\\x81\x41\x81\x5A\\", "c:\\\x81\x41\x81\x5A\\x"},
      {936, "C:\\\x81\x4A\\X", "C:\\\x81\x4A\\", "c:\\\x81\x4A\\x"},
      {65001, "C:\\\xE3\x82\xBF\\X", "C:\\\xE3\x82\xBF\\", "c:\\\xE3\x82\xBF\\x"},
  };
  for (const Case& c : cases) {
    CodePage ansi(c.page);
    EXPECT_EQ(directoryPart(c.path, ansi), c.directory) << c.path << " in " << c.page;
    std::string text = c.path;
    lowerCaseAscii(text, ansi);
    EXPECT_EQ(text, c.lowered) << c.path << " in " << c.page;
  }
}

}  // namespace
}  // namespace plimo
