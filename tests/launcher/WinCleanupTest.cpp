// The clean-up against Wine's real file system and registry.
#include <gtest/gtest.h>

#include "base/Cleanup.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "block/Limits.h"
#include "tests/launcher/WinPayloadTestSupport.h"
#include "tests/support/WinTestSupport.h"

namespace plimo::test {
namespace {

TEST(WinCleanup, AppendCreatesTheListAndAppendsToIt) {
  ListsEmptied lists;
  appendToDeletionList("C:\\t\\a.jar", "delete_file");
  ListValue value = readListValue("delete_file");
  ASSERT_TRUE(value.present);
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value.bytes, std::string("C:\\t\\a.jar;\0", 12));  // terminator stored with the text
  appendToDeletionList("C:\\t\\a.jar", "delete_file");
  appendToDeletionList("C:\\t", "delete_dir");
  EXPECT_EQ(listText("delete_file"), "C:\\t\\a.jar;C:\\t\\a.jar;");
  EXPECT_EQ(listText("delete_dir"), "C:\\t;");
}

TEST(WinCleanup, ExistingListsFromEarlierRunsAreKept) {
  ListsEmptied lists;
  struct Case {
    const char* name;
    std::string stored;
    std::string after;
  } cases[] = {
      {"terminated", std::string("C:\\old\\x;\0", 10), "C:\\old\\x;C:\\new;"},
      {"stored without terminator", "C:\\old\\x;", "C:\\old\\x;C:\\new;"},
      {"empty", std::string("\0", 1), "C:\\new;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeListValue("delete_file", c.stored);
    scheduleFileDeletion("C:\\new");
    EXPECT_EQ(listText("delete_file"), c.after);
  }
}

TEST(WinCleanup, AFullListIsLeftIntactAndTheEntryDropped) {
  ListsEmptied lists;
  std::string path = "C:\\t\\file";  // 9 bytes, 10 with its separator
  struct Case {
    const char* name;
    std::size_t existing;
    bool appended;
  } cases[] = {
      {"fills the value exactly", MAX_VALUE_LENGTH - 11, true},
      {"one byte too many", MAX_VALUE_LENGTH - 10, false},
      {"stored by someone else, longer than a reader's buffer", 3 * MAX_VALUE_LENGTH, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string stored(c.existing, 'x');
    stored.push_back(';');
    stored.push_back('\0');
    writeListValue("delete_dir", stored);
    scheduleDirDeletion(path);
    ListValue value = readListValue("delete_dir");
    if (c.appended) {
      EXPECT_EQ(value.bytes, stored.substr(0, stored.size() - 1) + path + ";" + std::string(1, '\0'));
      EXPECT_EQ(value.bytes.size(), MAX_VALUE_LENGTH + 1);
    } else {
      EXPECT_EQ(value.bytes, stored);
    }
  }
}

// root\a.txt, root\sub\b.bin, root\sub\deeper\c, root\empty\ .
void makeTree(const std::string& root) {
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "\\sub\\deeper").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "\\empty").c_str(), nullptr));
  ASSERT_TRUE(writeFile(root + "\\a.txt", "a"));
  ASSERT_TRUE(writeFile(root + "\\sub\\b.bin", content(1, 10000)));
  ASSERT_TRUE(writeFile(root + "\\sub\\deeper\\c", ""));
}

TEST(WinCleanup, DeleteTreeRemovesEverythingAndSchedulesNothing) {
  ListsEmptied lists;
  ScratchDir scratch;
  for (const char* suffix : {"", "\\"}) {
    SCOPED_TRACE(std::string("path ends with '") + suffix + "'");
    std::string root = scratch.file("tree");
    makeTree(root);
    deleteTree(root + suffix);
    EXPECT_FALSE(pathExists(root));
  }
  deleteTree(scratch.file("never-existed"));
  deleteTree("");
  EXPECT_FALSE(readListValue("delete_file").present);
  EXPECT_FALSE(readListValue("delete_dir").present);
}

TEST(WinCleanup, AFileInUseIsScheduledWithEveryDirectoryAboveIt) {
  ListsEmptied lists;
  ScratchDir scratch;
  for (const char* suffix : {"", "\\"}) {
    SCOPED_TRACE(std::string("path ends with '") + suffix + "'");
    deleteListValue("delete_file");
    deleteListValue("delete_dir");
    std::string root = scratch.file("tree");
    makeTree(root);
    HANDLE held = CreateFileA((root + "\\sub\\b.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    deleteTree(root + suffix);
    EXPECT_EQ(listText("delete_file"), root + "\\sub\\b.bin;");
    EXPECT_EQ(listText("delete_dir"), root + "\\sub;" + root + suffix + ";");
    EXPECT_TRUE(pathExists(root + "\\sub\\b.bin"));
    EXPECT_FALSE(pathExists(root + "\\a.txt"));
    EXPECT_FALSE(pathExists(root + "\\sub\\deeper"));
    EXPECT_FALSE(pathExists(root + "\\empty"));
    CloseHandle(held);
    removeTree(root);
  }
}

// What the Java program writes under names the ANSI code page cannot hold is
// removed too; one that stays in use is listed by its short name, which
// names the real file.
TEST(WinCleanup, NamesInAnyScriptAreRemovedOrListedByTheirShortName) {
  ListsEmptied lists;
  ScratchDir scratch;
  std::string root = scratch.file("tree");
  makeTree(root);
  std::wstring wideRoot(root.begin(), root.end());
  std::wstring folder = wideRoot + L"\\\u65e5\u672c";
  std::wstring held = wideRoot + L"\\\u0436\u0443\u0440\u043d\u0430\u043b.log";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  for (const std::wstring& file : {folder + L"\\\U0001F600.txt", held}) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  HANDLE inUse = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
  deleteTree(root);
  EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "the folder named in CJK stayed";
  wchar_t shortName[MAX_PATH];
  ASSERT_GT(GetShortPathNameW(held.c_str(), shortName, MAX_PATH), 0u);
  std::wstring shortWide(shortName);
  EXPECT_EQ(listText("delete_file"), std::string(shortWide.begin(), shortWide.end()) + ";");
  EXPECT_EQ(listText("delete_dir"), root + ";");
  CloseHandle(inUse);
  removeTree(root);
}

TEST(WinCleanup, ExitHandlerLeavesTheDirectoryBeforeRemovingIt) {
  ListsEmptied lists;
  ScratchDir scratch;
  char saved[PATH_BUFFER_SIZE];
  GetCurrentDirectoryA(sizeof saved, saved);
  std::string savedTempDir = tempDir;
  tempDir = scratch.file("plm1.tmp_dir1");
  makeTree(tempDir);
  ASSERT_TRUE(SetCurrentDirectoryA((tempDir + "\\sub").c_str()));
  deleteTempDirAtExit();
  EXPECT_FALSE(pathExists(tempDir));
  EXPECT_FALSE(readListValue("delete_dir").present);
  char now[PATH_BUFFER_SIZE];
  GetCurrentDirectoryA(sizeof now, now);
  EXPECT_EQ(std::string(now).find(tempDir), std::string::npos) << now;

  // Nothing was extracted: nothing to remove, nothing scheduled.
  tempDir.clear();
  deleteTempDirAtExit();
  EXPECT_FALSE(readListValue("delete_dir").present);
  tempDir = savedTempDir;
  SetCurrentDirectoryA(saved);
}

}  // namespace
}  // namespace plimo::test
