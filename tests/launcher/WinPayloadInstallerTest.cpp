// Installers built with the block writer, run under Wine: what they unpack,
// where, and what is left (or listed for deletion) at each way of ending.
#include <gtest/gtest.h>
#include <winternl.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "block/Limits.h"
#include "tests/launcher/WinPayloadTestSupport.h"
#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {
namespace {

constexpr DWORD WAIT_MS = 60000;

struct PayloadFile {
  std::string name;
  std::int64_t length;  // record length; content(seed, length) when positive
  std::uint32_t seed;
};

// Appends one record to an open file, generating and scrambling its bytes a
// piece at a time (records can be hundreds of megabytes).
bool appendRecord(std::FILE* out, std::int32_t length, std::uint32_t seed, std::int64_t presentBytes) {
  std::string header;
  appendInt32(header, length);
  if (std::fwrite(header.data(), 1, 4, out) != 4) return false;
  std::vector<unsigned char> piece(1 << 20);
  for (std::int64_t done = 0; done < presentBytes;) {
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(piece.size(), presentBytes - done));
    for (std::size_t i = 0; i < n; ++i) piece[i] = contentByte(seed, done + i) ^ PAYLOAD_KEY;
    if (std::fwrite(piece.data(), 1, n, out) != n) return false;
    done += n;
  }
  return true;
}

BlockWriter payloadBlock(BlockWriter block, const std::string& count, const std::string& names) {
  block.addNarrow(2002, count);
  block.addNarrow(2003, names);
  return block;
}

std::string namesOf(const std::vector<PayloadFile>& files) {
  std::string names;
  for (const PayloadFile& f : files) names += f.name + ";";
  return names;
}

bool writePayloadInstaller(const std::string& path, const BlockWriter& block, const std::vector<PayloadFile>& files,
                           const std::string& tail = std::string()) {
  if (!writeInstaller(path, block)) return false;
  std::FILE* out = std::fopen(path.c_str(), "ab");
  if (out == nullptr) return false;
  bool ok = true;
  for (const PayloadFile& f : files) {
    ok = ok && appendRecord(out, static_cast<std::int32_t>(f.length), f.seed, f.length > 0 ? f.length : 0);
  }
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), out) == tail.size();
  return std::fclose(out) == 0 && ok;
}

// True when the file holds exactly content(seed, length); compared a piece at
// a time.
::testing::AssertionResult holdsContent(const std::string& path, std::int64_t length, std::uint32_t seed) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return ::testing::AssertionFailure() << path << " missing";
  std::vector<unsigned char> piece(1 << 20);
  std::int64_t at = 0;
  std::size_t n;
  while ((n = std::fread(piece.data(), 1, piece.size(), in)) > 0) {
    for (std::size_t i = 0; i < n; ++i) {
      if (at + static_cast<std::int64_t>(i) >= length || piece[i] != contentByte(seed, at + i)) {
        std::fclose(in);
        return ::testing::AssertionFailure() << path << " differs at byte " << at + i;
      }
    }
    at += n;
  }
  std::fclose(in);
  if (at != length) return ::testing::AssertionFailure() << path << " has " << at << " bytes, not " << length;
  return ::testing::AssertionSuccess();
}

struct LauncherWindows {
  HWND progress = nullptr;
  HWND runtimeChoice = nullptr;
};

// Waits until the worker has got past the extraction to the runtime choice
// dialog (the tests run in manual mode, so it always comes).
bool waitForRuntimeChoice(DWORD processId, LauncherWindows& windows, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    windows.progress = findProcessWindow(processId, {"MyDlgClass", 0, nullptr, false});
    windows.runtimeChoice = findProcessWindow(processId, {"#32770", 1005});
    if (windows.runtimeChoice != nullptr && windows.progress != nullptr) return true;
    Sleep(50);
  }
  return false;
}

// The current directory of another process of the same bitness, read from
// its process parameters.
std::string currentDirectoryOf(HANDLE process) {
  using QueryFunction = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<QueryFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic;
  if (query == nullptr || query(process, 0, &basic, sizeof basic, nullptr) != 0) return "?";
  constexpr bool WIDE = sizeof(void*) == 8;
  auto* peb = reinterpret_cast<char*>(basic.PebBaseAddress);
  char* parameters = nullptr;
  if (!ReadProcessMemory(process, peb + (WIDE ? 0x20 : 0x10), &parameters, sizeof parameters, nullptr)) return "?";
  UNICODE_STRING path;
  if (!ReadProcessMemory(process, parameters + (WIDE ? 0x38 : 0x24), &path, sizeof path, nullptr)) return "?";
  std::wstring text(path.Length / 2, L'\0');
  if (!ReadProcessMemory(process, path.Buffer, &text[0], path.Length, nullptr)) return "?";
  return utf8FromWide(text.c_str());
}

std::vector<std::string> tempEnvironment(const std::string& directory) {
  return {"TEMP=" + directory, "TMP=" + directory};
}

enum class End { ProgressCancel, RuntimeChoiceCancel };

TEST(WinPayloadInstaller, UnpacksByteIdenticalFilesAndRemovesThemAtTheEnd) {
  ListsEmptied lists;
  ScratchDir build;
  struct Case {
    const char* name;
    std::string count;
    std::string names;
    std::vector<PayloadFile> records;
    std::vector<PayloadFile> expected;  // written files
    End end;
  } cases[] = {
      {"no payload", "0", "", {}, {}, End::ProgressCancel},
      {"one file", "1", "", {{"only.jar", 8193, 1}}, {{"only.jar", 8193, 1}}, End::RuntimeChoiceCancel},
      {"eight files",
       "8",
       "",
       {{"sblruntime.jar", 8192, 2}, {"empty.txt", 0, 0}, {"one", 1, 3}, {"page-1", 8191, 4}, {"mid.bin", 100000, 5},
        {"jvm options.txt", 300, 6}, {"big.zip", 3 * 8192 + 1, 7}, {"last", 8193, 8}},
       {{"sblruntime.jar", 8192, 2}, {"one", 1, 3}, {"page-1", 8191, 4}, {"mid.bin", 100000, 5},
        {"jvm options.txt", 300, 6}, {"big.zip", 3 * 8192 + 1, 7}, {"last", 8193, 8}},
       End::ProgressCancel},
      {"empty field, fewer names than the count", "5", "a.jar;;b.jar;", {{"a.jar", 10, 9}, {"b.jar", 20, 10}},
       {{"a.jar", 10, 9}, {"b.jar", 20, 10}}, End::RuntimeChoiceCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir temp;
    std::string installer = build.file("setup.exe");
    std::string names = c.names.empty() ? namesOf(c.records) : c.names;
    ASSERT_TRUE(writePayloadInstaller(installer, payloadBlock(BlockWriter(), c.count, names), c.records));
    Started started = startProcess("\"" + installer + "\" /manual", tempEnvironment(temp.path()));
    ASSERT_NE(started.process, nullptr);
    LauncherWindows windows;
    bool reached = waitForRuntimeChoice(started.processId, windows, WAIT_MS);
    EXPECT_TRUE(reached) << "no runtime choice dialog";

    std::vector<std::string> dirs = namesMatching(temp.path() + "\\plm*.tmp_dir*");
    std::string cwd = currentDirectoryOf(started.process);
    if (c.expected.empty() && c.count == "0") {
      EXPECT_TRUE(namesMatching(temp.path() + "\\*").empty()) << "nothing is made without a payload";
    } else {
      ASSERT_EQ(dirs.size(), 1u);
      EXPECT_EQ(namesMatching(temp.path() + "\\*").size(), 1u) << "the system's temporary file is gone";
      std::string dir = temp.path() + "\\" + dirs[0];
      EXPECT_EQ(_stricmp(cwd.c_str(), (dir + "\\").c_str()), 0) << cwd;
      EXPECT_EQ(namesMatching(dir + "\\*").size(), c.expected.size());
      for (const PayloadFile& f : c.expected) EXPECT_TRUE(holdsContent(dir + "\\" + f.name, f.length, f.seed));
    }

    if (c.end == End::ProgressCancel) {
      PostMessageA(windows.progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else {
      PostMessageA(windows.runtimeChoice, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    RunResult result = finishProcess(started, WAIT_MS);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, c.end == End::ProgressCancel ? 0u : 1u);
    EXPECT_TRUE(namesMatching(temp.path() + "\\*").empty()) << "the exit handler removed the directory";
    EXPECT_FALSE(readListValue("delete_file").present);
    EXPECT_FALSE(readListValue("delete_dir").present);
  }
}

TEST(WinPayloadInstaller, HundredMegabyteRecordIsUnpackedWhole) {
  ListsEmptied lists;
  ScratchDir build;
  ScratchDir temp;
  std::vector<PayloadFile> records = {{"jre.zip", 100 * 1024 * 1024 + 3, 21}, {"after.jar", 8193, 22}};
  std::string installer = build.file("setup.exe");
  ASSERT_TRUE(writePayloadInstaller(installer, payloadBlock(BlockWriter(), "2", namesOf(records)), records));
  Started started = startProcess("\"" + installer + "\" /manual", tempEnvironment(temp.path()));
  LauncherWindows windows;
  ASSERT_TRUE(waitForRuntimeChoice(started.processId, windows, 3 * WAIT_MS));
  std::vector<std::string> dirs = namesMatching(temp.path() + "\\plm*.tmp_dir*");
  ASSERT_EQ(dirs.size(), 1u);
  std::string dir = temp.path() + "\\" + dirs[0];
  for (const PayloadFile& f : records) EXPECT_TRUE(holdsContent(dir + "\\" + f.name, f.length, f.seed));
  PostMessageA(windows.runtimeChoice, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  RunResult result = finishProcess(started, WAIT_MS);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_FALSE(pathExists(dir));
}

TEST(WinPayloadInstaller, AFileHeldOpenAtTheEndIsListedWithItsDirectory) {
  ListsEmptied lists;
  ScratchDir build;
  ScratchDir temp;
  std::vector<PayloadFile> records = {{"a.jar", 5000, 31}, {"held.dll", 9000, 32}, {"c.txt", 10, 33}};
  std::string installer = build.file("setup.exe");
  ASSERT_TRUE(writePayloadInstaller(installer, payloadBlock(BlockWriter(), "3", namesOf(records)), records));
  Started started = startProcess("\"" + installer + "\" /manual", tempEnvironment(temp.path()));
  LauncherWindows windows;
  ASSERT_TRUE(waitForRuntimeChoice(started.processId, windows, WAIT_MS));
  std::vector<std::string> dirs = namesMatching(temp.path() + "\\plm*.tmp_dir*");
  ASSERT_EQ(dirs.size(), 1u);
  std::string dir = temp.path() + "\\" + dirs[0];
  HANDLE held = CreateFileA((dir + "\\held.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  PostMessageA(windows.progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  RunResult result = finishProcess(started, WAIT_MS);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_EQ(listText("delete_file"), dir + "\\held.dll;");
  EXPECT_EQ(listText("delete_dir"), dir + ";");
  EXPECT_EQ(namesMatching(dir + "\\*"), std::vector<std::string>{"held.dll"});
  CloseHandle(held);
}

// The console block sends every message to standard error. What was
// written is removed before the message; the lists keep only what earlier
// runs put there.
TEST(WinPayloadInstaller, FailuresShowTheirCodeAndLeaveNothing) {
  ListsEmptied lists;
  ScratchDir build;
  struct Case {
    const char* name;
    const char* count;
    std::string names;
    std::vector<PayloadFile> records;
    std::string tail;  // raw bytes after the records
    bool missingTemp;  // TEMP and TMP name a directory that does not exist
    std::string message;
  } cases[] = {
      {"name outside the directory", "3", "a.jar;..\\escape.txt;c;", {{"a.jar", 100, 41}, {"x", 5, 42}}, "", false,
       "1009: internal error (code 11)"},
      {"name the system refuses", "2", "a.jar;what?.txt;", {{"a.jar", 100, 43}, {"x", 5, 44}}, "", false,
       "1009: internal error (code 11)"},
      {"executable cut short inside a record", "2", "a.jar;b.jar;", {{"a.jar", 100, 45}},
       std::string("\xA0\x86\x01\x00", 4) + "cut", false, "1009: internal error (code 12)"},
      {"executable cut short inside a length", "2", "a.jar;b.jar;", {{"a.jar", 8192, 46}}, std::string("\x10\x00", 2),
       false, "Internal Error: readInt"},
      {"no temporary directory", "1", "a.jar;", {{"a.jar", 1, 47}}, "", true, "1009: internal error (code 7)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeListValue("delete_file", std::string("C:\\earlier\\run.txt;\0", 20));
    deleteListValue("delete_dir");
    ScratchDir temp;
    std::string installer = build.file("setup.exe");
    ASSERT_TRUE(writePayloadInstaller(installer, payloadBlock(consoleBlock(), c.count, c.names), c.records, c.tail));
    std::string tempPath = c.missingTemp ? temp.file("missing") : temp.path();
    RunResult result = runProcess("\"" + installer + "\" /manual", WAIT_MS, tempEnvironment(tempPath));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.stdErr, c.message + "\r\n");
    EXPECT_TRUE(namesMatching(temp.path() + "\\*").empty()) << "something was left or written outside";
    EXPECT_EQ(listText("delete_file"), "C:\\earlier\\run.txt;");
    EXPECT_FALSE(readListValue("delete_dir").present);
  }
}

// Writing fails only when the file system refuses bytes: the script
// PayloadWriteFailure.sh runs this test twice, first to build the installer,
// then with a file size limit below the record's size for the launcher.
TEST(WinPayloadInstaller, AWriteTheFileSystemRefusesEndsWithCode13) {
  const char* stage = std::getenv("PLIMO_PAYLOAD_STAGE");
  if (stage == nullptr) GTEST_SKIP() << "runs as the test launcher_payload_write_failure";
  char tempPath[PATH_BUFFER_SIZE];
  GetTempPathA(sizeof tempPath, tempPath);
  std::string work = std::string(tempPath) + "plimo-payload-write-failure";
  std::string installer = work + "\\setup.exe";
  std::string target = work + "\\target";
  std::vector<PayloadFile> records = {{"small.jar", 1000, 51}, {"large.bin", 16 * 1024 * 1024, 52}};
  if (std::strcmp(stage, "prepare") == 0) {
    removeTree(work);
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    ASSERT_TRUE(writePayloadInstaller(installer, payloadBlock(consoleBlock(), "2", namesOf(records)), records));
    return;
  }
  ListsEmptied lists;
  RunResult result = runProcess("\"" + installer + "\" /manual", WAIT_MS, tempEnvironment(target));
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(result.stdErr, "1009: internal error (code 13)\r\n");
  EXPECT_TRUE(namesMatching(target + "\\*").empty()) << "the partly written payload stayed";
  EXPECT_FALSE(readListValue("delete_file").present);
  EXPECT_FALSE(readListValue("delete_dir").present);
  removeTree(work);
}

}  // namespace
}  // namespace plimo::test
