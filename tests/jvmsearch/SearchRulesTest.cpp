#include <gtest/gtest.h>

#include "block/ConfigStore.h"
#include "jvmsearch/SearchRules.h"

namespace plimo {
namespace {

TEST(SearchRules, SequenceSplitsLikeStrtok) {
  struct Case {
    const char* text;
    std::vector<std::pair<char, std::string>> entries;
  } cases[] = {
      {"Y;EJAVA_HOME;EJDK_HOME;", {{'Y', ""}, {'E', "JAVA_HOME"}, {'E', "JDK_HOME"}}},
      {";;Rjre;;A c:\\x;", {{'R', "jre"}, {'A', " c:\\x"}}},
      {"", {}},
      {";;;", {}},
      {"y;ejava_home", {{'y', ""}, {'e', "java_home"}}},
      {"S", {{'S', ""}}},
  };
  for (const Case& c : cases) {
    std::vector<SearchEntry> parsed = parseSearchSequence(c.text);
    ASSERT_EQ(parsed.size(), c.entries.size()) << c.text;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
      EXPECT_EQ(parsed[i].letter, c.entries[i].first) << c.text;
      EXPECT_EQ(parsed[i].argument, c.entries[i].second) << c.text;
    }
  }
}

TEST(SearchRules, FallbackVariableAndMessagesFollowTheKinds) {
  EXPECT_STREQ(fallbackVariable('e'), "PLIMO_JAVA_HOME");
  EXPECT_STREQ(fallbackVariable('i'), "SORBILANE_JAVA_HOME");
  EXPECT_EQ(fallbackVariable('E'), nullptr);
  EXPECT_EQ(fallbackVariable('\0'), nullptr);

  EXPECT_EQ(messageForSource(JvmSourceKind::FromSearchPath).id, 1002);
  EXPECT_EQ(messageForSource(JvmSourceKind::FromSearchPath).placeholder, nullptr);
  EXPECT_EQ(messageForSource(JvmSourceKind::FromEnvironment).id, 1003);
  EXPECT_STREQ(messageForSource(JvmSourceKind::FromEnvironment).placeholder, "%ENV_VAR_NAME%");
  EXPECT_EQ(messageForSource(JvmSourceKind::FromDefinedPath).id, 1004);
  EXPECT_STREQ(messageForSource(JvmSourceKind::FromDefinedPath).placeholder, "%DEFINED_PATH%");
  EXPECT_EQ(messageForSource(JvmSourceKind::FromRegistry).id, 1005);
  EXPECT_EQ(messageForSource(static_cast<JvmSourceKind>(9)).id, 1005);
}

TEST(SearchRules, WindowedRuntimeAndExecutableDirectory) {
  EXPECT_EQ(windowedJavaExe("c:\\j\\bin\\java.exe"), "c:\\j\\bin\\javaw.exe");
  EXPECT_EQ(windowedJavaExe("c:\\j\\bin\\javaw.exe"), "c:\\j\\bin\\javaw.exe");
  EXPECT_EQ(windowedJavaExe("c:\\j\\bin\\JAVAW.EXE"), "c:\\j\\bin\\JAVAW.EXE");
  EXPECT_EQ(javaExeDirectory("c:\\j\\bin\\java.exe"), "c:\\j\\bin\\");
  EXPECT_EQ(javaExeDirectory("c:\\j\\bin\\javaw.exe"), "c:\\j\\bin\\");
  EXPECT_EQ(javaExeDirectory("x.exe"), "");
}

TEST(SearchRules, LibrariesBesideTheExecutableThenBelowTheJreFolder) {
  EXPECT_EQ(jvmLibrariesBeside("c:\\jdk\\bin\\java.exe", ""),
            (std::vector<std::string>{"c:\\jdk\\bin\\hotspot\\jvm.dll", "c:\\jdk\\bin\\client\\jvm.dll",
                                      "c:\\jdk\\bin\\server\\jvm.dll", "c:\\jdk\\bin\\classic\\jvm.dll"}));
  std::string fallback = privateJreJavaExe("c:\\jdk\\bin\\javaw.exe");
  EXPECT_EQ(fallback, "c:\\jdk\\bin\\../jre/bin/java.exe");
  EXPECT_EQ(jvmLibrariesBeside(fallback, "").front(), "c:\\jdk\\bin\\../jre/bin/hotspot\\jvm.dll");

  std::vector<std::string> preferred = jvmLibrariesBeside("c:\\jdk\\bin\\javaw.exe", "server");
  ASSERT_EQ(preferred.size(), 5u);
  EXPECT_EQ(preferred[0], "c:\\jdk\\bin\\server\\jvm.dll");
  EXPECT_EQ(preferred[1], "c:\\jdk\\bin\\hotspot\\jvm.dll");
  EXPECT_EQ(preferred[3], "c:\\jdk\\bin\\server\\jvm.dll");
}

TEST(SearchRules, RegistryKeyNamesOfPaths) {
  struct Case {
    unsigned page;
    const char* path;
    const char* prefix;
    const char* key;
  } cases[] = {
      {1252, "c:\\java\\j2re1.4.2\\bin\\java.exe", VERSION_CACHE_KEY,
       "SOFTWARE\\kaldor-codework\\plimo\\jvms\\c:/java/j2re1.4.2/bin/java.exe"},
      {1252, "C:\\Picked\\Java.exe", LOCATED_JVMS_KEY, "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms\\C:/Picked/Java.exe"},
      // The second byte of a double-byte character is no separator: 表 (0x95
      // 0x5C) in 932 and 許 (0xB3 0x5C) in 950 stay whole.
      {932, "c:\\\x95\x5C\\java.exe", "K\\", "K\\c:/\x95\x5C/java.exe"},
      {950, "c:\\\xB3\x5C\\java.exe", "K\\", "K\\c:/\xB3\x5C/java.exe"},
      {1252, "c:\\\x95\x5C\\java.exe", "K\\", "K\\c:/\x95//java.exe"},
  };
  for (const Case& c : cases) {
    std::string key = registryKeyForPath(c.path, c.prefix, CodePage(c.page));
    EXPECT_EQ(key, c.key) << c.path;
    if (c.page != 1252) EXPECT_EQ(pathFromKeyName(key), std::string("K\\") + c.path) << c.path;
  }
  EXPECT_EQ(pathFromKeyName("C:/Picked/Java.exe"), "C:\\Picked\\Java.exe");
  EXPECT_EQ(withoutLineEnd("c:\\jre\r\n\r\n"), "c:\\jre");
  EXPECT_EQ(withoutLineEnd("\n"), "");
  EXPECT_EQ(withoutLineEnd("a\rb"), "a\rb");
}

}  // namespace
}  // namespace plimo
