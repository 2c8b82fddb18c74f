// Extraction in-process against Wine's real file system, with the records in
// memory and the error path trapped (FatalTrap), so every ending is checked.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "launcher/Payload.h"
#include "tests/launcher/WinPayloadTestSupport.h"
#include "tests/support/FatalTrap.h"
#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {
namespace {

std::vector<std::string> entriesOf(const std::string& directory) { return namesMatching(directory + "\\*"); }

// Runs extractPayloadFrom with TMP and TEMP in a scratch directory, the given
// entries 2002 and 2003, and the records at offset 4 of a memory "executable".
class WinPayload : public ::testing::Test {
 protected:
  void SetUp() override {
    savedStore_ = configStore();
    savedFiles_ = extractedFiles;
    savedDirs_ = extractedDirs;
    extractedFiles.clear();
    extractedDirs.clear();
    clearShownMessages();
    saveVariable("TMP", savedTmp_);
    saveVariable("TEMP", savedTemp_);
    setTemp(scratch_.path());
  }
  void TearDown() override {
    configStore() = savedStore_;
    extractedFiles = savedFiles_;
    extractedDirs = savedDirs_;
    restoreVariable("TMP", savedTmp_);
    restoreVariable("TEMP", savedTemp_);
    clearShownMessages();
  }

  static void setTemp(const std::string& path) {
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
  }

  // Returns the fatal ending, if any; the directory lands in dir_.
  bool extract(const char* count, const char* names, const std::string& records, FatalCalled* fatal = nullptr,
               std::uint64_t offset = 4) {
    ConfigStore store;
    store.narrow[1009] = "1009: internal error (code %ERROR_CODE%)";
    if (count != nullptr) store.narrow[2002] = count;
    if (names != nullptr) store.narrow[2003] = names;
    configStore() = store;
    executable_ = "MZ.." + records;
    source_ = std::make_unique<MemoryByteSource>(executable_);
    dir_ = "unchanged";
    try {
      extractPayloadFrom(*source_, offset, dir_);
    } catch (const FatalCalled& called) {
      if (fatal != nullptr) *fatal = called;
      return false;
    }
    return true;
  }

  ScratchDir scratch_;
  std::string dir_;
  std::string executable_;
  std::unique_ptr<MemoryByteSource> source_;

 private:
  static void saveVariable(const char* name, std::string& out) {
    char value[PATH_BUFFER_SIZE];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    out = n > 0 && n < sizeof value ? value : "";
  }
  static void restoreVariable(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
  }
  ConfigStore savedStore_;
  std::vector<std::string> savedFiles_;
  std::vector<std::string> savedDirs_;
  std::string savedTmp_;
  std::string savedTemp_;
};

TEST_F(WinPayload, DirectoryIsNamedAfterTheSystemsTemporaryFile) {
  ASSERT_TRUE(extract("1", "a.jar;", payloadRecord("x")));
  std::vector<std::string> entries = entriesOf(scratch_.path());
  ASSERT_EQ(entries.size(), 1u) << "the temporary file the system made is gone";
  EXPECT_TRUE(std::regex_match(entries[0], std::regex("plm[0-9A-Fa-f]{1,4}\\.tmp_dir[0-9]{1,5}"))) << entries[0];
  EXPECT_EQ(dir_, scratch_.path() + "\\" + entries[0]);
  EXPECT_EQ(extractedDirs, std::vector<std::string>{dir_});
}

TEST_F(WinPayload, NamesAndCountsDecideWhatIsWritten) {
  std::string big = content(7, 8193);
  std::string page = content(8, 8192);
  struct Case {
    const char* name;
    const char* count;
    const char* names;
    std::string records;
    std::vector<std::pair<std::string, std::string>> files;  // written: name, content
    std::vector<std::string> recorded;                       // names in extractedFiles
    std::size_t consumed;                                    // record bytes read
  } cases[] = {
      {"empty field skipped", "2", "a.jar;;b.txt;", payloadRecord("alpha") + payloadRecord(page),
       {{"a.jar", "alpha"}, {"b.txt", page}}, {"a.jar", "b.txt"}, 9 + 4 + 8192},
      {"count larger than the names", "8", "a;b;", payloadRecord(big) + payloadRecord("1") + "not a record",
       {{"a", big}, {"b", "1"}}, {"a", "b"}, 4 + 8193 + 5},
      {"count smaller than the names", "1", "a;b;c;", payloadRecord("first") + payloadRecord("second"),
       {{"a", "first"}}, {"a"}, 9},
      {"empty and negative records write no file", "3", "z;n;f;",
       payloadRecord("") + recordWithLength(-5, "") + payloadRecord("seven!!"), {{"f", "seven!!"}},
       {"z", "n", "f"}, 4 + 4 + 11},
      {"negative count", "-1", "a;", payloadRecord("x"), {}, {}, 0},
      {"no names", "2", ";;", payloadRecord("x"), {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    extractedFiles.clear();
    extractedDirs.clear();
    ASSERT_TRUE(extract(c.count, c.names, c.records));
    ASSERT_EQ(extractedDirs, std::vector<std::string>{dir_});
    std::vector<std::string> recorded;
    for (const std::string& name : c.recorded) recorded.push_back(dir_ + "\\" + name);
    EXPECT_EQ(extractedFiles, recorded);
    EXPECT_EQ(entriesOf(dir_).size(), c.files.size());
    for (const auto& [name, bytes] : c.files) EXPECT_EQ(readFile(dir_ + "\\" + name), bytes) << name;
    EXPECT_EQ(source_->position(), 4 + c.consumed) << "records beyond the last one read are not touched";
    removeTree(dir_);
  }
}

TEST_F(WinPayload, NoCountMeansNothingIsExtracted) {
  for (const char* count : {static_cast<const char*>(nullptr), "0", "x2", ""}) {
    ASSERT_TRUE(extract(count, "a;", payloadRecord("x")));
    EXPECT_EQ(dir_, "");
    EXPECT_TRUE(entriesOf(scratch_.path()).empty());
    EXPECT_TRUE(extractedFiles.empty());
    EXPECT_TRUE(extractedDirs.empty());
  }
}

TEST_F(WinPayload, NamesThatLeaveTheDirectoryAreRefusedBeforeAnythingIsWritten) {
  const char* refused[] = {"..", ".", "...", "..\\up.txt", "../up.txt", "sub\\x", "C:up.txt", "nul", "COM1.jar"};
  for (const char* bad : refused) {
    SCOPED_TRACE(bad);
    extractedFiles.clear();
    extractedDirs.clear();
    std::string names = std::string("ok.jar;") + bad + ";";
    FatalCalled fatal;
    ASSERT_FALSE(extract("2", names.c_str(), payloadRecord("fine") + payloadRecord("evil"), &fatal));
    EXPECT_EQ(fatal.id, 1009);
    EXPECT_EQ(fatal.text, "1009: internal error (code 11)");
    EXPECT_EQ(extractedFiles, std::vector<std::string>{dir_ + "\\ok.jar"}) << "the refused path is not recorded";
    EXPECT_EQ(extractedDirs, std::vector<std::string>{dir_});
    EXPECT_EQ(readFile(dir_ + "\\ok.jar"), "fine");
    EXPECT_EQ(entriesOf(dir_).size(), 1u);
    EXPECT_EQ(entriesOf(scratch_.path()).size(), 1u) << "nothing beside the directory";
    removeTree(dir_);
  }
}

TEST_F(WinPayload, EachFailureEndsWithItsCode) {
  struct Case {
    const char* name;
    const char* names;
    std::string records;
    std::uint64_t offset;
    const char* text;
    std::vector<std::string> recorded;
    std::vector<std::string> written;
  } cases[] = {
      {"file cannot be created", "a;b*c;", payloadRecord("a") + payloadRecord("b"), 4,
       "1009: internal error (code 11)", {"a", "b*c"}, {"a"}},
      {"record cut short", "a;b;", payloadRecord("a") + recordWithLength(100000, "only this"), 4,
       "1009: internal error (code 12)", {"a", "b"}, {"a"}},
      {"payload starts beyond the file", "a;", payloadRecord("a"), 1000, "1009: internal error (code 12)", {}, {}},
      {"length field cut short", "a;b;", payloadRecord("a") + "\x01\x00", 4, "Internal Error: readInt", {"a", "b"},
       {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    extractedFiles.clear();
    extractedDirs.clear();
    FatalCalled fatal;
    ASSERT_FALSE(extract("2", c.names, c.records, &fatal, c.offset));
    EXPECT_EQ(fatal.text, c.text);
    EXPECT_EQ(fatal.exitCode, 1);
    std::vector<std::string> recorded;
    for (const std::string& name : c.recorded) recorded.push_back(dir_ + "\\" + name);
    EXPECT_EQ(extractedFiles, recorded);
    if (!c.written.empty()) EXPECT_EQ(extractedDirs, std::vector<std::string>{dir_});
    if (c.written.empty() && c.recorded.empty()) {
      EXPECT_TRUE(extractedDirs.empty());
      EXPECT_TRUE(entriesOf(scratch_.path()).empty());
    } else {
      EXPECT_EQ(entriesOf(dir_), c.written);
      removeTree(dir_);
    }
  }
}

TEST_F(WinPayload, NoTemporaryNameEndsWithCode7AndCreatesNothing) {
  setTemp(scratch_.file("missing\\deeper"));
  FatalCalled fatal;
  ASSERT_FALSE(extract("1", "a;", payloadRecord("a"), &fatal));
  EXPECT_EQ(fatal.text, "1009: internal error (code 7)");
  EXPECT_TRUE(extractedDirs.empty());
  EXPECT_TRUE(extractedFiles.empty());
  EXPECT_TRUE(entriesOf(scratch_.path()).empty());
}

}  // namespace
}  // namespace plimo::test
