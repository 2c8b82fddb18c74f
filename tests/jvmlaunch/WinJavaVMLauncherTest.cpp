// The launch under Wine against the recording jvm.dll double: the whole
// option list, the class and method looked up, the arguments as UTF-16 and
// the end of the VM, for the launcher's edge cases and the double's failures.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "jvmlaunch/JavaVMLauncher.h"
#include "jvmsearch/JniEntry.h"
#include "jvmsearch/WinPaths.h"
#include "tests/support/FatalTrap.h"
#include "tests/support/WinTestSupport.h"

namespace plimo::test {
namespace {

using Lines = std::vector<std::string>;

const char* const CONTROLS[] = {"PLIMO_JVMDOUBLE_CREATE_RESULT", "PLIMO_JVMDOUBLE_MISSING_CLASS",
                                "PLIMO_JVMDOUBLE_MISSING_METHOD", "PLIMO_JVMDOUBLE_THROW",
                                "PLIMO_JVMDOUBLE_EXIT", "PLIMO_JVMDOUBLE_NULL_ARRAY",
                                "PLIMO_JVMDOUBLE_NULL_STRING"};

std::string moduleFileName() {
  char buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

// The double's record of one launch.
struct Record {
  Lines options;
  Lines calls;  // everything after the options
  std::string head;
};

Record readRecord(const std::string& path) {
  Record record;
  std::istringstream in(readFile(path));
  std::string line;
  while (std::getline(in, line)) {
    if (record.head.empty()) {
      record.head = line;
    } else if (line.rfind("option ", 0) == 0 && record.calls.empty()) {
      record.options.push_back(line.substr(7));
    } else {
      record.calls.push_back(line);
    }
  }
  return record;
}

std::string elementLine(int index, const std::u16string& text) {
  std::string line = "element " + std::to_string(index);
  char hex[8];
  for (char16_t unit : text) {
    std::snprintf(hex, sizeof hex, " %04X", static_cast<unsigned>(unit));
    line += hex;
  }
  return line;
}

class WinLaunch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HMODULE runtime = LoadLibraryA((binDir() + "jvm.dll").c_str());
    ASSERT_NE(runtime, nullptr) << "jvm.dll double missing in " << binDir();
    createJavaVmEntry = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(GetProcAddress(runtime, "JNI_CreateJavaVM")));
    ASSERT_NE(createJavaVmEntry, nullptr) << "JNI_CreateJavaVM not exported undecorated";
  }

  void SetUp() override {
    reset();
    log_ = scratch_.file("double.log");
    SetEnvironmentVariableA("PLIMO_JVMDOUBLE_LOG", log_.c_str());
    // Launch entries of a typical installer: main class and VM parameters.
    set(122, "com.example.Main");
    set(123, "-Dsun.java2d.noddraw=true -Duser.language=ja");
    set(125, "1");
    set(2001, "e");
    set(1006, "missing %FILE_NAME%");
    set(1007, "Wrong Parameter Usage");
    set(1008, "define %ENV_VAR_NAME%");
    set(1010, "Main class not found.");
    set(1011, "Main method not found.");
  }
  void TearDown() override {
    reset();
    SetEnvironmentVariableA("PLIMO_JVMDOUBLE_LOG", nullptr);
    std::remove(vmOptionsPath().c_str());
  }
  static void reset() {
    configStore() = ConfigStore();
    manualMode = false;
    clearShownMessages();
    for (const char* name : CONTROLS) SetEnvironmentVariableA(name, nullptr);
  }
  static void set(std::int32_t id, const std::string& value) {
    configStore().narrow[id] = value;
    deriveConfigFlags(configStore());
  }
  static std::string vmOptionsPath() { return moduleFileName() + ".vmoptions"; }

  bool launch(const std::string& tail, const std::string& temp = std::string()) {
    return launchJvm(0x10002, tail.c_str(), nullptr, nullptr, temp.c_str(), nullptr);
  }
  // The message id the launch ends the process with.
  std::int32_t fatalLaunch(const std::string& tail) {
    try {
      launch(tail);
    } catch (const FatalCalled& fatal) {
      EXPECT_EQ(fatal.exitCode, 1);
      return fatal.id;
    }
    return 0;
  }
  Record record() const { return readRecord(log_); }

  ScratchDir scratch_;
  std::string log_;
};

TEST_F(WinLaunch, NoArgumentsGivesOnePropertyAndAnEmptyArray) {
  mainMethodCalled = false;
  ASSERT_TRUE(launch(""));
  EXPECT_TRUE(mainMethodCalled);
  Record r = record();
  EXPECT_EQ(r.head, "create version=0x00010002 ignoreUnrecognized=1 nOptions=4");
  EXPECT_EQ(r.options, (Lines{"-Dplimo.moduleName=" + moduleFileName(), "-Djava.class.path=\";\"",
                              "-Dsun.java2d.noddraw=true", "-Duser.language=ja"}));
  EXPECT_EQ(r.calls, (Lines{"findClass com/example/Main", "method main ([Ljava/lang/String;)V",
                            "findClass java/lang/String", "array 0 java/lang/String", "call", "destroy"}));
}

TEST_F(WinLaunch, ArgumentsAndOptionsForTheCommandLine) {
  struct Case {
    const char* name;
    bool manual;
    const char* forward;
    const char* fixed;  // entry 124
    std::string tail;
    Lines properties;
    Lines extraOptions;
    std::vector<std::u16string> arguments;
  } cases[] = {
      {"manual", true, "1", "", "/manual", {"-Dplimo.manualJre=true"}, {}, {u"/manual"}},
      {"-J items go to the VM", false, "1", "", "-J-Xmx512m data.txt", {}, {"-Xmx512m"}, {u"data.txt"}},
      {"-J items stay without entry 125", false, "0", "", "-J-Xmx512m data.txt", {}, {}, {u"-J-Xmx512m", u"data.txt"}},
      {"fixed arguments first", false, "1", "-q", "a b", {}, {}, {u"-q", u"a", u"b"}},
      {"quoted arguments; no substitution", false, "1", "'x y'", "%PLIMO_TEMPDIR% -Dname=\"a b\"", {}, {},
       {u"x y", u"%PLIMO_TEMPDIR%", u"-Dname=a b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    manualMode = c.manual;
    set(125, c.forward);
    set(124, c.fixed);
    ASSERT_TRUE(launch(c.tail));
    Record r = record();
    Lines options = c.properties;
    options.push_back("-Dplimo.moduleName=" + moduleFileName());
    options.push_back("-Djava.class.path=\";\"");
    options.push_back("-Dsun.java2d.noddraw=true");
    options.push_back("-Duser.language=ja");
    options.insert(options.end(), c.extraOptions.begin(), c.extraOptions.end());
    EXPECT_EQ(r.options, options);
    Lines calls = {"findClass com/example/Main", "method main ([Ljava/lang/String;)V", "findClass java/lang/String",
                   "array " + std::to_string(c.arguments.size()) + " java/lang/String"};
    for (std::size_t i = 0; i < c.arguments.size(); ++i) calls.push_back(elementLine(static_cast<int>(i), c.arguments[i]));
    calls.push_back("call");
    calls.push_back("destroy");
    EXPECT_EQ(r.calls, calls);
  }
}

TEST_F(WinLaunch, ClassPathVmOptionsFileAndTemporaryDirectory) {
  // Archives of the temporary directory, then the runtime jar, then the
  // configured items; the VM options file's lines come before all that.
  ScratchDir temp;
  for (const char* name : {"a.jar", "b.zip", "c.jar", "notes.txt"}) ASSERT_TRUE(writeFile(temp.file(name), "x"));
  set(2001, "i");
  set(10003, ".");
  set(121, "D0lib;;E0PLIMO_TEST_UNSET;A0" + temp.file("extra.jar"));
  set(123, "-Dt=%PLIMO_TEMPDIR%\\x -Dexe=%PLIMO_EXEDIR%");
  ASSERT_TRUE(writeFile(vmOptionsPath(), "-Djava.class.path=from-file\r\n\r\n-Xss2m\r\n"));
  ASSERT_TRUE(launch("", temp.path()));
  Record r = record();
  ASSERT_EQ(r.options.size(), 7u);
  EXPECT_EQ(r.options[0], "-Dplimo.moduleName=" + moduleFileName());
  EXPECT_EQ(r.options[1], "-Djava.class.path=from-file");
  EXPECT_EQ(r.options[2], "");
  EXPECT_EQ(r.options[3], "-Xss2m");
  EXPECT_EQ(r.options[5], "-Dt=" + temp.path() + "\\x");
  EXPECT_EQ(r.options[6], "-Dexe=" + resolveAgainstExeDir(""));

  std::string option = r.options[4];
  const std::string head = "-Djava.class.path=\";";
  ASSERT_EQ(option.rfind(head, 0), 0u) << option;
  ASSERT_EQ(option.back(), '"');
  std::vector<std::string> elements;
  std::istringstream list(option.substr(head.size(), option.size() - head.size() - 1));
  for (std::string element; std::getline(list, element, ';');) elements.push_back(element);
  ASSERT_EQ(elements.size(), 6u) << option;
  // Jars in enumeration order, then the zip.
  std::set<std::string> jars(elements.begin(), elements.begin() + 2);
  EXPECT_EQ(jars, (std::set<std::string>{temp.file("a.jar"), temp.file("c.jar")}));
  EXPECT_EQ(elements[2], temp.file("b.zip"));
  EXPECT_EQ(elements[3], normalizePath(".") + "\\.sorbilane\\sblruntime.jar");
  EXPECT_EQ(elements[4], resolveAgainstExeDir("lib"));
  EXPECT_EQ(elements[5], temp.file("extra.jar"));
}

TEST_F(WinLaunch, EnvironmentValuesHaveNoLengthLimit) {
  // Longer than the first buffer: the value is asked for again, not cut.
  std::string big = "c:\\" + std::string(20000, 'v') + ".jar";
  SetEnvironmentVariableA("PLIMO_TEST_BIG", ("\"" + big + "\"").c_str());
  set(121, "E1PLIMO_TEST_BIG");
  ASSERT_TRUE(launch(""));
  SetEnvironmentVariableA("PLIMO_TEST_BIG", nullptr);
  EXPECT_EQ(record().options[1], "-Djava.class.path=\";" + big + ";\"");
}

// Configured arguments are read in the installer's code page (entry 154,
// else the ANSI one); command-line arguments arrive in UTF-8 and reach Java
// with every character, whatever the system's code page.
TEST_F(WinLaunch, ArgumentsReachJavaWithEveryCharacter) {
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP();
  struct Case {
    const char* name;
    const char* codePage;    // entry 154; null: absent
    std::string configured;  // entry 124, in that code page
    std::string tail;        // the command line after the program name, UTF-8
    std::vector<std::u16string> expected;
  } cases[] = {
      // 0x80 is the euro sign in code page 1252, not U+0080.
      {"ANSI code page", nullptr, "caf\xE9 \x80", "plain", {u"caf\u00E9", u"\u20AC", u"plain"}},
      {"recorded Japanese page", "932", "\x93\xFA\x96\x7B", "", {u"\u65E5\u672C"}},
      {"command line outside the ANSI code page", nullptr, "",
       "\"\xE6\x95\xB0\xE6\x8D\xAE \xD0\xB4\xD0\xB0.txt\" \xF0\x9F\x98\x80",
       {u"\u6570\u636E \u0434\u0430.txt", u"\U0001F600"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.codePage != nullptr) set(154, c.codePage);
    set(124, c.configured);
    ASSERT_TRUE(launch(c.tail));
    Record r = record();
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_NE(std::find(r.calls.begin(), r.calls.end(), elementLine(static_cast<int>(i), c.expected[i])),
                r.calls.end())
          << i;
    }
    set(154, "");
  }
}

TEST_F(WinLaunch, FailuresEndWithTheirMessageOrResult) {
  struct Case {
    const char* name;
    const char* control;  // environment variable of the double
    const char* value;
    bool result;
    std::int32_t fatalId;
    Lines lastCalls;  // the end of the record
    bool mainCalled;  // the watcher was told that main runs
  } cases[] = {
      {"creation fails", "PLIMO_JVMDOUBLE_CREATE_RESULT", "-1", false, 0, {}, false},
      {"main class missing", "PLIMO_JVMDOUBLE_MISSING_CLASS", "1", false, 1010, {"findClass com/example/Main"}, false},
      {"main method missing", "PLIMO_JVMDOUBLE_MISSING_METHOD", "1", false, 1011,
       {"method main ([Ljava/lang/String;)V"}, false},
      {"exception from main: described, VM kept", "PLIMO_JVMDOUBLE_THROW", "1", false, 0, {"call", "describe"}, true},
      {"argument array not created", "PLIMO_JVMDOUBLE_NULL_ARRAY", "1", false, 0,
       {"array 2 java/lang/String", "describe"}, false},
      {"argument string not created", "PLIMO_JVMDOUBLE_NULL_STRING", "1", false, 0,
       {"array 2 java/lang/String", "describe"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : CONTROLS) SetEnvironmentVariableA(name, nullptr);
    SetEnvironmentVariableA(c.control, c.value);
    mainMethodCalled = false;
    bool result = true;
    std::int32_t fatalId = 0;
    try {
      result = launch("a b");
    } catch (const FatalCalled& fatal) {
      fatalId = fatal.id;
      EXPECT_EQ(fatal.exitCode, 1);
    }
    EXPECT_EQ(fatalId, c.fatalId);
    EXPECT_EQ(mainMethodCalled.load(), c.mainCalled);
    if (c.fatalId == 0) {
      EXPECT_EQ(result, c.result);
    }
    Record r = record();
    EXPECT_EQ(r.options.size(), 4u);
    if (c.lastCalls.empty()) {
      EXPECT_TRUE(r.calls.empty());
    } else {
      ASSERT_GE(r.calls.size(), c.lastCalls.size());
      EXPECT_EQ(Lines(r.calls.end() - static_cast<long>(c.lastCalls.size()), r.calls.end()), c.lastCalls);
    }
  }
}

TEST_F(WinLaunch, BadParametersAndMissingItemsEndBeforeTheVmExists) {
  struct Case {
    const char* name;
    std::int32_t id;
    std::string value;
    std::int32_t fatalId;
  } cases[] = {
      {"unclosed quote in the VM parameters", 123, "-Da=\"x", 1007},
      {"unclosed quote in the -J items", 0, "", 1007},
      {"required archive missing", 121, "A1no-such.jar", 1006},
      {"required variable undefined", 121, "E1PLIMO_TEST_UNSET", 1008},
      {"required variable empty", 121, "E1PLIMO_TEST_EMPTY", 1008},
  };
  SetEnvironmentVariableA("PLIMO_TEST_EMPTY", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileA(log_.c_str());
    if (c.id != 0) set(c.id, c.value);
    EXPECT_EQ(fatalLaunch(c.id == 0 ? "-J'-Xmx1g" : ""), c.fatalId);
    EXPECT_FALSE(pathExists(log_)) << "the VM was created";
    set(123, "");
    set(121, "");
  }
  SetEnvironmentVariableA("PLIMO_TEST_EMPTY", nullptr);
  // Bad quoting in the program arguments is found after the VM exists.
  EXPECT_EQ(fatalLaunch("'open"), 1007);
}

TEST_F(WinLaunch, UnboundRuntimeIsAFailedStart) {
  CreateJavaVmFunction bound = createJavaVmEntry;
  createJavaVmEntry = nullptr;
  bool result = launch("");
  createJavaVmEntry = bound;
  EXPECT_FALSE(result);
}

// Run in a process of its own by the next test: main ends the process.
TEST_F(WinLaunch, ChildEndsFromMain) {
  char childLog[MAX_PATH * 4];
  DWORD n = GetEnvironmentVariableA("PLIMO_LAUNCH_CHILD", childLog, sizeof childLog);
  if (n == 0 || n >= sizeof childLog) GTEST_SKIP() << "runs as a child only";
  SetEnvironmentVariableA("PLIMO_JVMDOUBLE_LOG", childLog);
  SetEnvironmentVariableA("PLIMO_JVMDOUBLE_EXIT", "7");
  launch("x");
  ADD_FAILURE() << "main returned";
}

TEST_F(WinLaunch, JavaProgramEndsTheProcessFromMain) {
  std::string childLog = scratch_.file("child.log");
  RunResult result = runProcess("\"" + moduleFileName() + "\" --gtest_filter=WinLaunch.ChildEndsFromMain", 60000,
                                {"PLIMO_LAUNCH_CHILD=" + childLog});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 7u) << result.stdErr;
  Record r = readRecord(childLog);
  ASSERT_GE(r.calls.size(), 2u);
  EXPECT_EQ(r.calls[r.calls.size() - 2], "call");
  EXPECT_EQ(r.calls.back(), "exit 7");
}

}  // namespace
}  // namespace plimo::test
