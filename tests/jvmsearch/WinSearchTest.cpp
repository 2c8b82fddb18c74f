// The search against the real system (variables, search path, registry,
// preferred-runtime file, libraries) with the runtime doubles; the decisions
// alone are also checked natively against tables (JvmSearchTest).
#include <gtest/gtest.h>

#include "jvmsearch/JniEntry.h"
#include "jvmsearch/JvmLocator.h"
#include "jvmsearch/WinPaths.h"
#include "jvmsearch/WinSearchPlatform.h"
#include "tests/jvmsearch/WinSearchSupport.h"

namespace plimo::test {
namespace {

using SequenceTest = SearchTest;

const std::string JRE_FAMILY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

struct Found {
  JvmSourceKind kind;
  std::string candidate;
  std::string source;
};
Found search() {
  Found f;
  f.kind = runSearchSequence(windowsSearchPlatform(), f.candidate, f.source);
  return f;
}

// Registry first: the only runtime family has CurrentVersion "1.4" and a home
// without a private jre; the variables are never reached.
TEST_F(SequenceTest, RegistryFirstSequenceFindsTheRegisteredRuntime) {
  configure(cfg::SEARCH_SEQUENCE, "Y;EJAVA_HOME;EJDK_HOME;");
  configure(cfg::MIN_VERSION, "1.4");
  configure(cfg::LAUNCHER_KIND, "i");
  RuntimeHome registered = makeHome(scratch.file("Program Files\\Java\\j2re1.4.2"), "1.4.2_05");
  RuntimeHome variable = makeHome(scratch.file("javahome"), "1.8.0_25");
  ASSERT_TRUE(setRegistryString(HKEY_LOCAL_MACHINE, JRE_FAMILY, "CurrentVersion", "1.4"));
  registerJavaSoft(JRE_FAMILY, "1.4", registered.home);
  setVariable("JAVA_HOME", variable.home);

  Found f = search();
  EXPECT_EQ(f.kind, JvmSourceKind::FromRegistry);
  EXPECT_EQ(f.candidate, registered.normalizedJavaExe());
  EXPECT_EQ(variable.starts(), 0);

  // Without the registry entry the variables follow in order.
  deleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
  RuntimeHome jdkHome = makeHome(scratch.file("jdkhome"), "1.8.0_30");
  setVariable("JDK_HOME", jdkHome.home);
  f = search();
  EXPECT_EQ(f.kind, JvmSourceKind::FromEnvironment);
  EXPECT_EQ(f.source, "JAVA_HOME");
  EXPECT_EQ(f.candidate, variable.normalizedJavaExe());
  setVariable("JAVA_HOME", "");  // empty is passed over like unset
  f = search();
  EXPECT_EQ(f.source, "JDK_HOME");
  EXPECT_EQ(f.candidate, jdkHome.normalizedJavaExe());
}

TEST_F(SequenceTest, EverySourceInItsWrittenOrder) {
  RuntimeHome a = makeHome(scratch.file("a"), "1.8.0_1");
  RuntimeHome e = makeHome(scratch.file("e"), "1.8.0_2");
  RuntimeHome s = makeHome(scratch.file("s"), "1.8.0_3");
  RuntimeHome y = makeHome(scratch.file("y"), "1.8.0_4");
  setVariable("PLIMO_TEST_HOME", e.home);
  char path[32768];
  GetEnvironmentVariableA("PATH", path, sizeof path);
  setVariable("PATH", s.binDir + ";" + path);
  registerJavaSoft(JRE_FAMILY, "1.8", y.home);

  struct Case {
    std::string sequence;
    JvmSourceKind kind;
    const RuntimeHome* runtime;
    std::string source;
  } cases[] = {
      {"ENOT_SET;A", JvmSourceKind::NotFound, nullptr, ""},  // "A" alone: the executable's directory
      {"EPLIMO_TEST_HOME;S;Y", JvmSourceKind::FromEnvironment, &e, "PLIMO_TEST_HOME"},
      {"Sx;EPLIMO_TEST_HOME", JvmSourceKind::FromSearchPath, &s, "x"},
      {"Y;S", JvmSourceKind::FromRegistry, &y, ""},
      {"R" + a.home + ";Y", JvmSourceKind::FromDefinedPath, &a, a.home},
      {";;Q;A" + a.home, JvmSourceKind::FromDefinedPath, &a, a.home},
      {"y;ePLIMO_TEST_HOME;s;a" + a.home, JvmSourceKind::NotFound, nullptr, ""},
      {"", JvmSourceKind::NotFound, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence);
    configure(cfg::SEARCH_SEQUENCE, c.sequence);
    Found f = search();
    EXPECT_EQ(f.kind, c.kind);
    if (c.runtime != nullptr) {
      EXPECT_EQ(f.candidate, c.runtime->normalizedJavaExe());
      EXPECT_EQ(f.source, c.source);
    }
  }
}

TEST_F(SequenceTest, RelativeDirectoriesResolveAgainstTheExecutable) {
  std::string relative = "jvmsearch-rel-" + std::to_string(GetCurrentProcessId());
  std::string root = binDir() + relative;
  RuntimeHome plain = makeHome(root, "1.8.0_25");
  configure(cfg::SEARCH_SEQUENCE, "R" + relative);
  Found f = search();
  EXPECT_EQ(f.kind, JvmSourceKind::FromDefinedPath);
  EXPECT_EQ(f.candidate, plain.normalizedJavaExe());
  EXPECT_EQ(f.source, relative);
  // A private jre below it is preferred.
  RuntimeHome nested = makeHome(root, "1.8.0_26", JvmLibrary::Loads, true);
  configure(cfg::SEARCH_SEQUENCE, "A" + relative);
  f = search();
  EXPECT_EQ(f.candidate, nested.normalizedJavaExe());
  removeTree(root);
}

TEST_F(SequenceTest, PreferredRuntimeFileComesBeforeTheSequence) {
  RuntimeHome preferred = makeHome(scratch.file("preferred"), "1.5.0-beta");  // beta allowed here
  RuntimeHome variable = makeHome(scratch.file("variable"), "1.8.0_25");
  setVariable("JAVA_HOME", variable.home);
  configure(cfg::SEARCH_SEQUENCE, "EJAVA_HOME");
  CreateDirectoryA(scratch.file(".sorbilane").c_str(), nullptr);
  ASSERT_TRUE(writeFile(scratch.file(".sorbilane\\pref_jre.cfg"), preferred.home + "\r\n\r\nignored\r\n"));
  std::string line;
  ASSERT_TRUE(readPreferredJre(system, line));
  EXPECT_EQ(line, preferred.home);
  Found f = search();
  EXPECT_EQ(f.kind, JvmSourceKind::FromDefinedPath);
  EXPECT_EQ(f.candidate, preferred.normalizedJavaExe());
  EXPECT_EQ(f.source, preferred.home);

  // An empty first line names the executable's directory, which holds no runtime.
  ASSERT_TRUE(writeFile(scratch.file(".sorbilane\\pref_jre.cfg"), "\n" + preferred.home));
  ASSERT_TRUE(readPreferredJre(system, line));
  EXPECT_EQ(line, "");
  f = search();
  EXPECT_EQ(f.kind, JvmSourceKind::FromEnvironment);
}

TEST_F(SequenceTest, ABaseDirectoryThatCannotBeResolvedReadsNoPreferredRuntimeFile) {
  // A file at the root of the current drive belongs to someone else.
  RuntimeHome stranger = makeHome(scratch.file("stranger"), "1.8.0_25");
  struct DriveRootFile {
    char saved[MAX_PATH] = {};
    DriveRootFile() { GetCurrentDirectoryA(sizeof saved, saved); }
    ~DriveRootFile() {
      DeleteFileA("C:\\.sorbilane\\pref_jre.cfg");
      RemoveDirectoryA("C:\\.sorbilane");
      SetCurrentDirectoryA(saved);
    }
  } restore;
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  CreateDirectoryA("C:\\.sorbilane", nullptr);
  ASSERT_TRUE(writeFile("C:\\.sorbilane\\pref_jre.cfg", stranger.home + "\r\n"));
  std::string line;
  for (const std::string& base : {"c:\\" + std::string(9000, 'b'), std::string(9000, 'r')}) {
    SCOPED_TRACE(base.substr(0, 4));
    configure(cfg::BASE_DIRECTORY, base);
    line = "untouched";
    EXPECT_FALSE(readPreferredJre(system, line));
    EXPECT_EQ(line, "untouched");
    EXPECT_EQ(search().kind, JvmSourceKind::NotFound);
  }
}

TEST_F(SequenceTest, ModernFamiliesAreTriedAfterTheClassicOnes) {
  RuntimeHome modern = makeHome(scratch.file("jdk-17"), "17.0.15");
  registerJavaSoft("SOFTWARE\\JavaSoft\\JDK", "17", modern.home);
  std::string candidate, version;
  ASSERT_TRUE(jvmFromJavaSoft(system, candidate, version, "1.8", ""));
  EXPECT_EQ(candidate, modern.normalizedJavaExe());
  EXPECT_EQ(version, "17.0.15");
  RuntimeHome classic = makeHome(scratch.file("jre8"), "1.8.0_25");
  registerJavaSoft(JRE_FAMILY, "1.8", classic.home);
  ASSERT_TRUE(jvmFromJavaSoft(system, candidate, version, "1.8", ""));
  EXPECT_EQ(candidate, classic.normalizedJavaExe());
}

using LocateTest = SearchTest;

TEST_F(LocateTest, BindsTheEntryPointOfTheFoundRuntime) {
  RuntimeHome runtime = makeHome(scratch.file("jre"), "1.8.0_25");
  configure(cfg::SEARCH_SEQUENCE, "A" + runtime.home);
  ASSERT_TRUE(locateJvm(true, nullptr, false));
  ASSERT_NE(createJavaVmEntry, nullptr);
  JavaVM* vm = reinterpret_cast<JavaVM*>(1);
  void* env = nullptr;
  EXPECT_EQ(createJavaVmEntry(&vm, &env, nullptr), -77);  // the double answered
  EXPECT_TRUE(shownMessages().empty());
}

TEST_F(LocateTest, LibraryNeedingDllsOfTheBinDirectoryLoads) {
  RuntimeHome runtime = makeHome(scratch.file("modern"), "17.0.15", JvmLibrary::NeedsBinDependency);
  // A library of the dependency's name beside the program, as a download
  // folder may hold one; the usual search looks there first.
  struct Planted {
    std::string path = binDir() + "plimo-runtime-dep.dll";
    ~Planted() { DeleteFileA(path.c_str()); }
  } planted;
  ASSERT_TRUE(CopyFileA((doubleDir() + "planted\\plimo-runtime-dep.dll").c_str(), planted.path.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((doubleDir() + "jvm-load-double.dll").c_str(), (runtime.binDir + "\\bin-only.dll").c_str(), FALSE));
  // Loaded from its folder and the system directory alone, the library's
  // dependency is not found: the case the search must handle.
  HMODULE alone = LoadLibraryExA((runtime.binDir + "\\server\\jvm.dll").c_str(), nullptr,
                                 LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  EXPECT_EQ(alone, nullptr);
  if (alone != nullptr) FreeLibrary(alone);
  ASSERT_TRUE(locateJvm(true, runtime.home.c_str(), false));
  JavaVM* vm = nullptr;
  void* env = nullptr;
  EXPECT_EQ(createJavaVmEntry(&vm, &env, nullptr), -78);  // bin's copy; the planted one answers -79
  // The DLL search is as it was afterwards: no DLL directory, bin no longer
  // among the directories added to it.
  char dir[MAX_PATH];
  EXPECT_EQ(GetDllDirectoryA(sizeof dir, dir), 0u);
  EXPECT_EQ(LoadLibraryExA("bin-only.dll", nullptr, LOAD_LIBRARY_SEARCH_USER_DIRS), nullptr);
}

TEST_F(LocateTest, LibraryDirectoriesInTheirOrder) {
  // The configured type first; beside java.exe before ../jre/bin; the first
  // library that loads decides, entry point or not.
  RuntimeHome runtime = makeHome(scratch.file("jdk"), "1.8.0_25", JvmLibrary::NoEntry, false, "client");
  makeHome(scratch.file("jdk"), "1.8.0_25", JvmLibrary::Loads, false, "server");
  std::string exe = runtime.javaExe;
  EXPECT_NE(loadJvmLibrary(system, exe), nullptr);
  EXPECT_FALSE(system.bindCreateJavaVm(loadJvmLibrary(system, exe)));  // client before server
  configure(cfg::PREFERRED_VM_TYPE, "server");
  EXPECT_TRUE(system.bindCreateJavaVm(loadJvmLibrary(system, exe)));

  RuntimeHome jdk = makeHome(scratch.file("jdk2"), "1.8.0_25", JvmLibrary::None);
  makeHome(scratch.file("jdk2"), "1.8.0_25", JvmLibrary::Loads, true, "client");
  createJavaVmEntry = nullptr;
  EXPECT_TRUE(system.bindCreateJavaVm(loadJvmLibrary(system, jdk.binDir + "\\javaw.exe")));
  EXPECT_EQ(loadJvmLibrary(system, scratch.file("none\\bin\\java.exe")), nullptr);
}

// A library without the entry point and one that does not load at all are
// both reported, by their source; which message each source gives is checked
// natively (JvmSearchTest).
TEST_F(LocateTest, UnusableLibrariesAreReported) {
  RuntimeHome noEntry = makeHome(scratch.file("noentry"), "1.8.0_25", JvmLibrary::NoEntry);
  RuntimeHome broken = makeHome(scratch.file("broken"), "1.8.0_25", JvmLibrary::Broken);
  configure(1003, "1003: %ENV_VAR_NAME% points nowhere");
  configure(1004, "1004: %DEFINED_PATH% damaged");
  configure(cfg::SEARCH_SEQUENCE, "EJAVA_HOME");
  for (const RuntimeHome* runtime : {&noEntry, &broken}) {
    SCOPED_TRACE(runtime->home);
    setVariable("JAVA_HOME", runtime->home);
    clearShownMessages();
    EXPECT_FALSE(locateJvm(true, nullptr, false));
    EXPECT_FALSE(locateJvm(true, runtime->home.c_str(), false));
    ASSERT_EQ(shownMessages().size(), 2u);
    EXPECT_EQ(shownMessages()[0].text, "1003: JAVA_HOME points nowhere");
    EXPECT_EQ(shownMessages()[1].text, "1004: " + runtime->home + " damaged");
  }
  EXPECT_EQ(createJavaVmEntry, nullptr);
}

TEST_F(LocateTest, AGivenRuntimeIsCheckedAsFileThenAsHome) {
  RuntimeHome beta = makeHome(scratch.file("picked"), "1.6.0-beta");
  configure(cfg::MIN_VERSION, "1.4");
  configure(1001, "1001: none");
  EXPECT_TRUE(locateJvm(true, beta.javaExe.c_str(), true));
  createJavaVmEntry = nullptr;
  EXPECT_TRUE(locateJvm(true, beta.home.c_str(), true));  // a directory, tried as home
  EXPECT_NE(createJavaVmEntry, nullptr);
  configure(cfg::MIN_VERSION, "1.7");
  EXPECT_FALSE(locateJvm(true, beta.javaExe.c_str(), true));
  ASSERT_EQ(shownMessages().size(), 1u);
  EXPECT_EQ(shownMessages()[0].text, "1001: none");
}

}  // namespace
}  // namespace plimo::test
