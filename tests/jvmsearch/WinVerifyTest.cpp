// Probe, version cache, windowed runtime and located list against the
// java.exe double and Wine's registry.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "block/BlockFormat.h"
#include "jvmsearch/JvmLocator.h"
#include "jvmsearch/WinSearchPlatform.h"
#include "tests/jvmsearch/WinSearchSupport.h"

namespace plimo::test {
namespace {

using VerifyTest = SearchTest;

std::string sharedVector(const std::string& name) {
  return readFile((std::filesystem::path(PLIMO_SHARED_DIR) / "vectors" / "java-version" / name).string());
}

TEST_F(VerifyTest, ProbeReadsRecordedOutputsThroughThePipe) {
  RuntimeHome runtime = makeHome(scratch.file("probe"), "1");
  struct Case {
    const char* file;
    const char* version;
  } cases[] = {
      {"oracle-1.8.0_25-win-x86-client.crlf.txt", "1.8.0_25"},
      {"microsoft-11.0.14.1-windows.crlf.txt", "11.0.14.1"},
      {"openj9-12-internal-windows7.crlf.txt", "12-internal"},
      {"ibm-j9-1.7.0-sr9fp50-windows-x86.crlf.txt", "1.7.0"},
      {"pickedup-JAVA_TOOL_OPTIONS-adoptopenjdk-1.8.0_192.txt", "1.8.0_192"},
      {"pickedup-_JAVA_OPTIONS-openjdk-17.0.6.txt", "17.0.6"},
      {"temurin-21.0.7.txt", "21.0.7"},
      {"sun-1.4.2_05-linux.txt", "1.4.2_05"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string output = sharedVector(c.file);
    ASSERT_FALSE(output.empty());
    runtime.setOutput(output);
    std::string version;
    EXPECT_TRUE(probeJavaVersion(runtime.javaExe, version));
    EXPECT_EQ(version, c.version);
  }
  // The child gets its path quoted and the one argument "-version".
  std::vector<std::string> lines = runtime.startLines();
  ASSERT_EQ(lines.size(), std::size(cases));
  EXPECT_NE(lines[0].find(" \"" + runtime.javaExe + "\" -version"), std::string::npos) << lines[0];
}

TEST_F(VerifyTest, ProbeFailsOnOutputWithoutAVersion) {
  RuntimeHome runtime = makeHome(scratch.file("bad"), "1");
  for (const std::string& output : {std::string(), std::string("java version \"\"\r\n"),
                                    std::string("Error: could not open `C:\\jre\\lib\\jvm.cfg'\r\n"),
                                    std::string(20000, 'x')}) {
    runtime.setOutput(output);
    std::string version = "untouched";
    DWORD started = GetTickCount();
    EXPECT_FALSE(probeJavaVersion(runtime.javaExe, version)) << output.substr(0, 40);
    EXPECT_LT(GetTickCount() - started, 4000u) << "the end of output must end the probe";
  }
  std::string version;
  EXPECT_FALSE(probeJavaVersion(scratch.file("absent\\java.exe"), version));
}

TEST_F(VerifyTest, ProbeRunsTheQuotedPathNotAProgramPlantedBeforeTheBlank) {
  RuntimeHome runtime = makeHome(scratch.file("my java"), "1.8.0_25");
  RuntimeHome planted = makeHome(scratch.file("planted"), "6.6.6");
  ASSERT_TRUE(CopyFileA(planted.javaExe.c_str(), scratch.file("my.exe").c_str(), FALSE));
  ASSERT_TRUE(writeFile(scratch.file("my.exe.stderr"), versionOutput("6.6.6")));
  std::string version;
  EXPECT_TRUE(probeJavaVersion(runtime.javaExe, version));
  EXPECT_EQ(version, "1.8.0_25");
  EXPECT_FALSE(pathExists(scratch.file("my.exe.starts")));
}

TEST_F(VerifyTest, AChildThatNeverFinishesItsLineIsEndedAtTheTimeLimit) {
  RuntimeHome runtime = makeHome(scratch.file("hang"), "1");
  runtime.setOutput("Picked up JAVA_TOOL_OPTIONS: -Xmx1m\r\nopenjdk version \"17");
  ASSERT_TRUE(writeFile(runtime.javaExe + ".hang", ""));
  setProbeTimeLimit(1500);
  std::string version;
  DWORD started = GetTickCount();
  EXPECT_FALSE(probeJavaVersion(runtime.javaExe, version));
  DWORD elapsed = GetTickCount() - started;
  EXPECT_GE(elapsed, 1400u);
  EXPECT_LT(elapsed, 6000u);
  std::vector<std::string> lines = runtime.startLines();
  ASSERT_EQ(lines.size(), 1u);
  DWORD pid = std::stoul(lines[0]);
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (child != nullptr) {  // gone already, or ending
    EXPECT_EQ(WaitForSingleObject(child, 3000), WAIT_OBJECT_0) << "the child must have been ended";
    CloseHandle(child);
  }
}

// True when the process is gone or has ended; a probe must not return while
// its child still runs, whichever way the probe ends. A child found running
// is ended here, so that a failing run does not hang on it.
bool processEnded(DWORD pid) {
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (child == nullptr) return true;
  bool ended = WaitForSingleObject(child, 0) == WAIT_OBJECT_0;
  if (!ended) {
    TerminateProcess(child, 0xDEAD);
    WaitForSingleObject(child, 5000);
  }
  CloseHandle(child);
  return ended;
}

TEST_F(VerifyTest, TheProbeReturnsOnlyOnceItsChildHasEnded) {
  setProbeTimeLimit(1500);
  struct Case {
    const char* name;
    std::string output;
    const char* linger;  // milliseconds the child stays after its output, or null
    bool hang;
    bool found;
    DWORD minimumMs;     // the probe had to wait at least this long
  } cases[] = {
      {"lingers after the version", versionOutput("17.0.6"), "700", false, true, 600},
      {"never ends after the version", versionOutput("17.0.6"), nullptr, true, true, 1400},
      {"empty version, then hangs", "java version \"\"\r\n", nullptr, true, false, 0},
      {"fills the buffer, then hangs", std::string(20000, 'x'), nullptr, true, false, 0},
      {"no version line, then hangs", "Error: could not open `C:\\jre\\lib\\jvm.cfg'\r\n", nullptr, true, false, 1400},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RuntimeHome runtime = makeHome(scratch.file("child" + std::to_string(index++)), "1");
    runtime.setOutput(c.output);
    if (c.linger != nullptr) ASSERT_TRUE(writeFile(runtime.javaExe + ".linger", c.linger));
    if (c.hang) ASSERT_TRUE(writeFile(runtime.javaExe + ".hang", ""));
    std::string version;
    DWORD started = GetTickCount();
    EXPECT_EQ(probeJavaVersion(runtime.javaExe, version), c.found);
    DWORD elapsed = GetTickCount() - started;
    EXPECT_GE(elapsed, c.minimumMs);
    EXPECT_LT(elapsed, 6000u);
    if (c.found) EXPECT_EQ(version, "17.0.6");
    std::vector<std::string> lines = runtime.startLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(processEnded(std::stoul(lines[0]))) << "the probe returned while its child still ran";
    // The child ran in its own folder, never in the launcher's current one.
    std::string directory = readFile(runtime.javaExe + ".cwd");
    if (!directory.empty() && directory.back() == '\\') directory.pop_back();
    EXPECT_EQ(lstrcmpiA(directory.c_str(), runtime.binDir.c_str()), 0) << directory;
  }
}

// The machine comes from the file's own header; a runtime built for another
// processor is refused without being started.
TEST_F(VerifyTest, ARuntimeForAnotherProcessorIsRefusedUnstarted) {
  const std::uint16_t own = sizeof(void*) == 8 ? PE_MACHINE_X64 : PE_MACHINE_X86;
  RuntimeHome runtime = makeHome(scratch.file("other"), "17.0.15");
  std::uint16_t machine = 0;
  ASSERT_TRUE(system.executableMachine(runtime.javaExe, machine));
  EXPECT_EQ(machine, own);
  EXPECT_EQ(system.ownMachine(), own);

  std::string bytes = readFile(runtime.javaExe);
  ASSERT_GT(bytes.size(), 0x40u);
  std::uint32_t peOffset = 0;
  std::memcpy(&peOffset, bytes.data() + 0x3C, 4);
  ASSERT_LT(peOffset + 6u, bytes.size());
  const std::uint16_t other = own == PE_MACHINE_X64 ? PE_MACHINE_X86 : PE_MACHINE_X64;
  std::memcpy(&bytes[peOffset + 4], &other, 2);
  ASSERT_TRUE(writeFile(runtime.javaExe, bytes));
  ASSERT_TRUE(system.executableMachine(runtime.javaExe, machine));
  EXPECT_EQ(machine, other);
  std::string path = runtime.javaExe;
  EXPECT_FALSE(verifyJavaExe(system, path, "", "", true));
  EXPECT_EQ(runtime.starts(), 0);

  EXPECT_FALSE(system.executableMachine(runtime.home + "\\release", machine));  // no such file
  ASSERT_TRUE(writeFile(runtime.javaExe, "MZ not a program"));
  EXPECT_FALSE(system.executableMachine(runtime.javaExe, machine));
}

TEST_F(VerifyTest, VersionIsCachedPerFileTimeAndProbedAgainWhenTheFileChanges) {
  RuntimeHome runtime = makeHome(scratch.file("Cached"), "1.8.0_25");
  std::string path = runtime.javaExe;
  std::string version;
  ASSERT_TRUE(verifyJavaExeVersion(system, path, version, "1.4", "", false));
  EXPECT_EQ(path, runtime.normalizedJavaExe());
  EXPECT_EQ(version, "1.8.0_25");
  EXPECT_EQ(runtime.starts(), 1);

  // The entry: key of the normalised path with forward slashes, the file
  // time as 8 little-endian bytes, the version as a string.
  std::string expectedKey = "SOFTWARE\\kaldor-codework\\plimo\\jvms\\";
  for (char c : path) expectedKey += c == '\\' ? '/' : c;
  HKEY entry = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, expectedKey.c_str(), 0, KEY_READ, &entry), ERROR_SUCCESS) << expectedKey;
  unsigned char stored[16];
  DWORD type = 0, size = sizeof stored;
  ASSERT_EQ(RegQueryValueExA(entry, "LastWriteTime", nullptr, &type, stored, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, 8u);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(runtime.javaExe.c_str(), GetFileExInfoStandard, &data));
  unsigned char expected[8];
  std::memcpy(expected, &data.ftLastWriteTime.dwLowDateTime, 4);
  std::memcpy(expected + 4, &data.ftLastWriteTime.dwHighDateTime, 4);
  EXPECT_EQ(std::memcmp(stored, expected, 8), 0);
  char text[64];
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(entry, "Version", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, "1.8.0_25");
  RegCloseKey(entry);

  // Unchanged file: no process at all. A rejected version is cached too.
  path = runtime.javaExe;
  EXPECT_TRUE(verifyJavaExeVersion(system, path, version, "1.4", "", false));
  EXPECT_FALSE(verifyJavaExe(system, path, "11", "", false));
  EXPECT_EQ(runtime.starts(), 1);

  // A changed file time means another runtime may be there: probe again.
  runtime.setOutput(versionOutput("11.0.2"));
  FILETIME later = data.ftLastWriteTime;
  later.dwHighDateTime += 1;
  HANDLE file = CreateFileA(runtime.javaExe.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &later));
  CloseHandle(file);
  path = runtime.javaExe;
  EXPECT_TRUE(verifyJavaExeVersion(system, path, version, "11", "", false));
  EXPECT_EQ(version, "11.0.2");
  EXPECT_EQ(runtime.starts(), 2);
  std::uint64_t time = (static_cast<std::uint64_t>(later.dwHighDateTime) << 32) | later.dwLowDateTime;
  std::string cached;
  EXPECT_TRUE(lookupJvmVersion(system, path, time, cached));
  EXPECT_EQ(cached, "11.0.2");

  // An entry whose time has another size is no entry.
  HKEY rewrite = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, expectedKey.c_str(), 0, KEY_ALL_ACCESS, &rewrite), ERROR_SUCCESS);
  RegSetValueExA(rewrite, "LastWriteTime", 0, REG_BINARY, stored, 4);
  RegCloseKey(rewrite);
  EXPECT_FALSE(lookupJvmVersion(system, path, time, cached));
}

TEST_F(VerifyTest, LocatedRuntimesAcrossBothRoots) {
  RuntimeHome older = makeHome(scratch.file("Older"), "1.4.2_03");
  RuntimeHome newer = makeHome(scratch.file("Newer"), "1.4.2_04");
  RuntimeHome same = makeHome(scratch.file("Same"), "1.4.2_04");
  const std::string list = "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms\\";
  auto keyOf = [&](const RuntimeHome& r) {
    std::string k = list;
    for (char c : r.javaExe) k += c == '\\' ? '/' : c;
    return k;
  };

  recordLocatedJvm(newer.javaExe.c_str());  // machine root when it can be written, case kept
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyOf(newer).c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_TRUE(createRegistryKey(HKEY_CURRENT_USER, keyOf(older)));

  std::string path, version;
  ASSERT_TRUE(bestLocatedJvm(system, path, version, "1.4", ""));
  EXPECT_EQ(path, newer.normalizedJavaExe());
  EXPECT_EQ(version, "1.4.2_04");

  // Equal versions: the machine root's entry.
  ASSERT_TRUE(createRegistryKey(HKEY_CURRENT_USER, keyOf(same)));
  ASSERT_TRUE(bestLocatedJvm(system, path, version, "1.4", ""));
  EXPECT_EQ(path, newer.normalizedJavaExe());

  // A strictly higher user entry wins.
  RuntimeHome highest = makeHome(scratch.file("Highest"), "1.10");
  ASSERT_TRUE(createRegistryKey(HKEY_CURRENT_USER, keyOf(highest)));
  ASSERT_TRUE(bestLocatedJvm(system, path, version, "1.4", ""));
  EXPECT_EQ(path, highest.normalizedJavaExe());
}

}  // namespace
}  // namespace plimo::test
