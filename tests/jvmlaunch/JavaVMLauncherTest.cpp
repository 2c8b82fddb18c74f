// Argument splitting, launcher variables, class path assembly, the VM options
// file and the order of the VM option list, over a platform answered from
// tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "jvmlaunch/JavaVMLauncher.h"
#include "tests/jvmlaunch/LaunchTestPlatform.h"
#include "tests/support/FatalTrap.h"

namespace plimo::test {
namespace {

using Items = std::vector<std::string>;

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    configStore() = ConfigStore();
    manualMode = false;
    clearShownMessages();
  }
  static void set(std::int32_t id, const std::string& value) {
    configStore().narrow[id] = value;
    deriveConfigFlags(configStore());
  }
};

// The message id a call ends the process with; 0 when it returns.
template <typename F>
std::int32_t fatalIdOf(F&& call, std::string* text = nullptr) {
  try {
    call();
  } catch (const FatalCalled& fatal) {
    EXPECT_EQ(fatal.exitCode, 1);
    if (text != nullptr) *text = fatal.text;
    return fatal.id;
  }
  return 0;
}

TEST_F(LaunchTest, SplitsAtBlanksAndHonoursBothQuotes) {
  struct Case {
    const char* text;
    Items items;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"-Xmx256m  -Dx=1", {"-Xmx256m", "-Dx=1"}},
      {" lead trail ", {"lead", "trail"}},
      {"\"-Dpath=c:\\program files\\app\" -Xss1m", {"-Dpath=c:\\program files\\app", "-Xss1m"}},
      {"'-Dpath=c:\\program files\\app' -Xss1m", {"-Dpath=c:\\program files\\app", "-Xss1m"}},
      {"'say \"hi\"' \"it's\"", {"say \"hi\"", "it's"}},
      {"\"\" x", {"", "x"}},
      {"''", {""}},
      {"\"ab\"cd e", {"ab", "cd", "e"}},
      {"a\tb c", {"a\tb", "c"}},
      // A quote after the item's first character: the text before it stays
      // part of the item, as a shell would give it.
      {"-Dname=\"a b\" -Xss1m", {"-Dname=a b", "-Xss1m"}},
      {"-Dname='a \"b\"'x y", {"-Dname=a \"b\"", "x", "y"}},
      {"a\"\"", {"a"}},
      // A blank before the quote ends the item there, as any blank does.
      {"ab \"c d\"", {"ab", "c d"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Items items;
    const char* rest = splitArguments(c.text, nullptr, items);
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(*rest, '\0');
  }
}

TEST_F(LaunchTest, PrefixTakesOnlyTheLeadingItems) {
  struct Case {
    const char* text;
    Items items;
    const char* rest;
  } cases[] = {
      {"-J-Xmx512m -J-Dy=2 file.txt", {"-Xmx512m", "-Dy=2"}, "file.txt"},
      {"-J-Xmx512m  -J-Dy=2", {"-Xmx512m"}, " -J-Dy=2"},
      {"-J -Xmx512m", {}, "-Xmx512m"},
      {"data.txt -J-Xmx1g", {}, "data.txt -J-Xmx1g"},
      {"-J\"-Dx=a b\" rest", {"-Dx=a b"}, "rest"},
      {"-J-Dname=\"a b\" rest", {"-Dname=a b"}, "rest"},
      {"", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Items items;
    const char* rest = splitArguments(c.text, "-J", items);
    EXPECT_EQ(items, c.items);
    EXPECT_STREQ(rest, c.rest);
  }
}

TEST_F(LaunchTest, UnclosedQuoteEndsWithWrongParameterUsage) {
  set(1007, "Wrong Parameter Usage");
  for (const char* text : {"\"", "a 'b", "x \"y z", "-Dname=\"a b", "'\"'\""}) {
    SCOPED_TRACE(text);
    Items items;
    std::string shown;
    EXPECT_EQ(fatalIdOf([&] { splitArguments(text, nullptr, items); }, &shown), 1007);
    EXPECT_EQ(shown, "Wrong Parameter Usage");
  }
  Items items;
  EXPECT_EQ(fatalIdOf([&] { splitArguments("-J'x", "-J", items); }), 1007);
}

TEST_F(LaunchTest, SubstitutesTheSixLauncherVariables) {
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {"%PLIMO_EXEDIR%lib", "c:\\setup\\lib"},
      {"%SORBILANE_EXEDIR%lib", "c:\\setup\\lib"},
      {"-Da=%PLIMO_TEMPDIR% -Db=%PLIMO_TEMPDIR%\\x", "-Da=c:\\t\\p1 -Db=c:\\t\\p1\\x"},
      {"%SORBILANE_TEMPDIR%", "c:\\t\\p1"},
      {"a%PLIMO_PATHLIST_SEPARATOR%b%SORBILANE_PATHLIST_SEPARATOR%c", "a;b;c"},
      {"%plimo_exedir%", "%plimo_exedir%"},
      {"no variables", "no variables"},
      {"%PLIMO_TEMPDIR", "%PLIMO_TEMPDIR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    substituteLauncherVariables(text, "c:\\setup\\", "c:\\t\\p1");
    EXPECT_EQ(text, c.expected);
  }
  // An empty temporary directory just disappears.
  std::string text = "-Dt=%PLIMO_TEMPDIR%;";
  substituteLauncherVariables(text, "c:\\setup\\", "");
  EXPECT_EQ(text, "-Dt=;");
  // A replacement holding its own placeholder is not expanded again, and a
  // text may grow past the value limit without being cut.
  text = "%PLIMO_TEMPDIR%%PLIMO_TEMPDIR%";
  replaceAll(text, "%PLIMO_TEMPDIR%", "[%PLIMO_TEMPDIR%]");
  EXPECT_EQ(text, "[%PLIMO_TEMPDIR%][%PLIMO_TEMPDIR%]");
  std::string longDir(6000, 'd');
  text = "%PLIMO_TEMPDIR%;%PLIMO_TEMPDIR%";
  substituteLauncherVariables(text, "c:\\setup\\", longDir);
  EXPECT_EQ(text, longDir + ";" + longDir);
}

struct ClassPathCase {
  const char* name;
  char kind;
  std::string entry121;
  std::string tempDir;
  std::map<std::string, std::string> environment;
  std::set<std::string> existing;
  std::map<std::string, std::vector<std::string>> listings;
  std::string elements;   // between the opening quote-separator and the closing quote
  std::int32_t fatalId;   // 0: the option is built
  std::string fatalText;
};

TEST_F(LaunchTest, ClassPathTable) {
  const std::string t = "c:\\users\\a b\\temp\\p1";
  ClassPathCase cases[] = {
      {"nothing at all", 'e', "", "", {}, {}, {}, "", 0, ""},
      {"temporary archives: jars, then zips", 'e', "", t, {}, {t}, {{t + "|jar", {"a.jar", "c.jar"}}, {t + "|zip", {"b.zip"}}},
       t + "\\a.jar;" + t + "\\c.jar;" + t + "\\b.zip;", 0, ""},
      {"missing temporary directory", 'e', "", t, {}, {}, {{t + "|jar", {"a.jar"}}}, "", 0, ""},
      {"runtime jar of the installer kind after the archives", 'i', "D0lib", t, {}, {t}, {{t + "|jar", {"a.jar"}}},
       t + "\\a.jar;c:\\setup\\.sorbilane\\sblruntime.jar;c:\\setup\\lib;", 0, ""},
      {"empty items skipped; A and D added even when missing", 'e', "D0lib;;A1app.jar;", "", {},
       {"c:\\setup\\app.jar"}, {}, "c:\\setup\\lib;c:\\setup\\app.jar;", 0, ""},
      {"absolute items kept", 'e', ";A0d:\\x\\\\y.jar", "", {}, {}, {}, "d:\\x\\y.jar;", 0, ""},
      {"required archive missing", 'e', "D0lib;;A1app.jar;", "", {}, {}, {}, "", 1006, "missing app.jar"},
      {"quoted variable value", 'e', "E0LIBS", "", {{"LIBS", "\"c:\\x.jar;c:\\y.jar\""}}, {}, {},
       "c:\\x.jar;c:\\y.jar;", 0, ""},
      {"variable ending in a separator", 'e', "E1LIBS", "", {{"LIBS", "c:\\x.jar;"}}, {}, {}, "c:\\x.jar;", 0, ""},
      {"inner quotes stay", 'e', "E0LIBS", "", {{"LIBS", "\"a\"b\""}}, {}, {}, "a\"b;", 0, ""},
      {"optional variable undefined", 'e', "E0JAVA_LIBS;D0x", "", {}, {}, {}, "c:\\setup\\x;", 0, ""},
      {"optional variable empty", 'e', "E0JAVA_LIBS", "", {{"JAVA_LIBS", ""}}, {}, {}, "", 0, ""},
      {"required variable undefined", 'e', "E1JAVA_LIBS", "", {}, {}, {}, "", 1008, "define JAVA_LIBS"},
      {"required variable empty", 'e', "E1JAVA_LIBS", "", {{"JAVA_LIBS", ""}}, {}, {}, "", 1008, "define JAVA_LIBS"},
      {"scanned directory: jars then zips, one backslash at the seam", 'e', "S1libs\\", "", {},
       {"c:\\setup\\libs\\"}, {{"c:\\setup\\libs\\|jar", {"x.jar", "y.jar"}}, {"c:\\setup\\libs\\|zip", {"z.zip"}}},
       "c:\\setup\\libs\\x.jar;c:\\setup\\libs\\y.jar;c:\\setup\\libs\\z.zip;", 0, ""},
      {"required empty scanned directory accepted", 'e', "S1libs", "", {}, {"c:\\setup\\libs"}, {}, "", 0, ""},
      {"required scanned directory missing", 'e', "S1libs", "", {}, {}, {}, "", 1006, "missing libs"},
      {"optional scanned directory missing", 'e', "S0libs", "", {}, {}, {}, "", 0, ""},
      {"items without a name ignored", 'e', "A;E;1;D0x", "", {}, {}, {}, "c:\\setup\\x;", 0, ""},
      {"flag other than 1 is optional", 'e', "A2gone.jar", "", {}, {}, {}, "c:\\setup\\gone.jar;", 0, ""},
      {"unknown kind adds nothing", 'e', "X0foo;D0x", "", {}, {}, {}, "c:\\setup\\x;", 0, ""},
      {"required unknown kind is missing", 'e', "X1foo", "", {}, {}, {}, "", 1006, "missing foo"},
  };
  for (const ClassPathCase& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    set(2001, std::string(1, c.kind));
    set(10003, ".");
    set(121, c.entry121);
    set(1006, "missing %FILE_NAME%");
    set(1008, "define %ENV_VAR_NAME%");
    TablePlatform platform;
    platform.environment = c.environment;
    platform.existing = c.existing;
    platform.listings = c.listings;
    std::string option;
    std::string shown;
    EXPECT_EQ(fatalIdOf([&] { option = buildClassPathOption(platform, c.tempDir); }, &shown), c.fatalId);
    if (c.fatalId != 0) {
      EXPECT_EQ(shown, c.fatalText);
    } else {
      EXPECT_EQ(option, "-Djava.class.path=\";" + c.elements + "\"");
    }
  }
}

TEST_F(LaunchTest, ClassPathHasNoLengthLimit) {
  set(2001, "e");
  set(121, "E1BIG");
  TablePlatform platform;
  const std::string t = "c:\\" + std::string(200, 'd');
  platform.existing = {t};
  std::vector<std::string>& jars = platform.listings[t + "|jar"];
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    jars.push_back("archive-" + std::to_string(i) + ".jar");
    expected += t + "\\" + jars.back() + ";";
  }
  std::string big(20000, 'v');
  platform.environment["BIG"] = big;
  std::string option = buildClassPathOption(platform, t);
  EXPECT_GT(option.size(), 40000u);
  EXPECT_EQ(option, "-Djava.class.path=\";" + expected + big + ";\"");
}

// A VM options file beside the fake module.
class VmOptionsFile {
 public:
  VmOptionsFile(const std::string& module, const std::string& bytes) : path_(module + ".vmoptions") {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f != nullptr) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  ~VmOptionsFile() { std::remove(path_.c_str()); }

 private:
  std::string path_;
};

TEST_F(LaunchTest, VmOptionsFileLines) {
  struct Case {
    const char* name;
    std::string bytes;
    Items options;
  } cases[] = {
      {"three lines, one empty", "-Xmx512m\r\n\r\n-Dfoo=bar\r\n", {"-Xmx512m", "", "-Dfoo=bar"}},
      {"no comments, no trimming", "# memory\n -Xss1m \n", {"# memory", " -Xss1m "}},
      {"last line without a break", "-Da=1\n-Db=2", {"-Da=1", "-Db=2"}},
      {"empty file", "", {}},
      {"long line in two reads", std::string(10000, 'x') + "\n", {std::string(8191, 'x'), std::string(1809, 'x')}},
  };
  TablePlatform platform;
  platform.module = "JavaVMLauncherTest.module.exe";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VmOptionsFile file(platform.module, c.bytes);
    Items options;
    appendVmOptionsFileLines(platform, options);
    EXPECT_EQ(options, c.options);
  }
  // No file, and a file named without the executable's extension, add nothing.
  VmOptionsFile other("JavaVMLauncherTest.module", "-Xmx1g\n");
  Items options;
  appendVmOptionsFileLines(platform, options);
  EXPECT_TRUE(options.empty());
}

TEST_F(LaunchTest, OptionListOrderAndProgramArguments) {
  set(2001, "i");
  set(10003, ".");
  set(121, "D0lib");
  set(123, "-Dsun.java2d.noddraw=true  \"-Dt=%PLIMO_TEMPDIR%\\x y\" -Dexe=%PLIMO_EXEDIR%");
  TablePlatform platform;
  platform.module = "JavaVMLauncherTest.order.exe";
  VmOptionsFile file(platform.module, "-Djava.class.path=from-file\n");
  const std::string t = "c:\\t\\p1";
  platform.existing = {t};
  platform.listings[t + "|jar"] = {"app.jar"};
  platform.listings[t + "|zip"] = {"res.zip"};
  const std::string classPath = "-Djava.class.path=\";" + t + "\\app.jar;" + t + "\\res.zip;" +
                                "c:\\setup\\.sorbilane\\sblruntime.jar;c:\\setup\\lib;\"";

  struct Case {
    const char* name;
    bool manual;
    const char* forward;
    std::string tail;
    Items properties;
    Items extra;
    std::string rest;
  } cases[] = {
      {"no arguments", false, "1", "", {"-Dplimo.moduleName=c:\\setup\\setup 1.exe"}, {}, ""},
      {"manual", true, "1", "/manual", {"-Dplimo.manualJre=true", "-Dplimo.moduleName=c:\\setup\\setup 1.exe"}, {},
       "/manual"},
      {"-J items forwarded", false, "1", "-J-Xmx512m data.txt", {"-Dplimo.moduleName=c:\\setup\\setup 1.exe"},
       {"-Xmx512m"}, "data.txt"},
      {"-J items kept for the program", false, "0", "-J-Xmx512m data.txt",
       {"-Dplimo.moduleName=c:\\setup\\setup 1.exe"}, {}, "-J-Xmx512m data.txt"},
      // The command line is UTF-8; options go to the VM in its code page,
      // the program's arguments stay UTF-8 until they become Java strings.
      {"-J items in the system code page", false, "1", "-J-Dn=caf\xC3\xA9 -J-Dc=\xE4\xB8\xAD \xE4\xB8\xAD.txt",
       {"-Dplimo.moduleName=c:\\setup\\setup 1.exe"}, {"-Dn=caf\xE9", "-Dc=?"}, "\xE4\xB8\xAD.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    set(125, c.forward);
    Items properties = launcherProperties("c:\\setup\\setup 1.exe", nullptr, nullptr, c.manual);
    EXPECT_EQ(properties, c.properties);
    Items options;
    std::string rest = buildVmOptions(platform, properties, t, c.tail, options);
    Items expected = c.properties;
    expected.push_back("-Djava.class.path=from-file");
    expected.push_back(classPath);
    expected.push_back("-Dsun.java2d.noddraw=true");
    expected.push_back("-Dt=c:\\t\\p1\\x y");
    expected.push_back("-Dexe=c:\\setup\\");
    expected.insert(expected.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(options, expected);
    EXPECT_EQ(rest, c.rest);
  }
  EXPECT_EQ(launcherProperties("m", "comm", "sem", true),
            (Items{"-Dplimo.commFile=comm", "-Dplimo.semaphoreName=sem", "-Dplimo.manualJre=true", "-Dplimo.moduleName=m"}));
}

void JNICALL ignoreExit(jint) {}

TEST_F(LaunchTest, InitArgsCarryEveryOptionAsGiven) {
  Items options = {"-Da=1", "", "-Dp=c:\\a b\\x"};
  JavaVMInitArgs args;
  buildVmInitArgs(args, options, JNI_VERSION_1_2);
  EXPECT_EQ(args.version, JNI_VERSION_1_2);
  EXPECT_EQ(args.ignoreUnrecognized, JNI_TRUE);
  ASSERT_EQ(args.nOptions, 3);
  options.clear();  // the texts handed over do not depend on the caller's list
  EXPECT_STREQ(args.options[0].optionString, "-Da=1");
  EXPECT_STREQ(args.options[1].optionString, "");
  EXPECT_STREQ(args.options[2].optionString, "-Dp=c:\\a b\\x");
  EXPECT_EQ(args.options[2].extraInfo, nullptr);

  // The launcher's exit hook comes last, as the option "exit".
  RuntimeExitHook hook = &ignoreExit;
  buildVmInitArgs(args, {"-Da=1"}, JNI_VERSION_1_2, hook);
  ASSERT_EQ(args.nOptions, 2);
  EXPECT_EQ(args.options[0].extraInfo, nullptr);
  EXPECT_STREQ(args.options[1].optionString, "exit");
  EXPECT_EQ(args.options[1].extraInfo, reinterpret_cast<void*>(hook));

  std::string name = "com.example.Outer$Inner";
  toInternalClassName(name);
  EXPECT_EQ(name, "com/example/Outer$Inner");
}

}  // namespace
}  // namespace plimo::test
