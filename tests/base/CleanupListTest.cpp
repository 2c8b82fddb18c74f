#include <gtest/gtest.h>

#include <string>

#include "base/DeletionList.h"
#include "block/Limits.h"

namespace plimo {
namespace {

TEST(CleanupList, StoredTextEndsAtTheReportedLengthOrTheFirstNul) {
  struct Case {
    const char* name;
    std::string data;
    std::size_t reported;
    std::string text;
  } cases[] = {
      {"terminated", std::string("a;b;\0", 5), 5, "a;b;"},
      {"not terminated", "a;b;GARBAGE", 4, "a;b;"},
      {"empty value", std::string("\0", 1), 1, ""},
      {"nothing reported", "xyz", 0, ""},
      {"NUL inside", std::string("a;\0b;", 5), 5, "a;"},
  };
  for (const Case& c : cases) EXPECT_EQ(deletionListText(c.data.data(), c.reported), c.text) << c.name;
}

TEST(CleanupList, AppendAddsPathAndSeparatorAfterWhatIsThere) {
  std::string list;
  EXPECT_TRUE(appendDeletionEntry(list, "C:\\t\\plm1.tmp_dir5\\a.jar"));
  EXPECT_TRUE(appendDeletionEntry(list, "C:\\t\\plm1.tmp_dir5\\a.jar"));
  EXPECT_EQ(list, "C:\\t\\plm1.tmp_dir5\\a.jar;C:\\t\\plm1.tmp_dir5\\a.jar;");
}

TEST(CleanupList, ListNeverGrowsPastTheValueLimit) {
  struct Case {
    const char* name;
    std::size_t existing;
    std::size_t path;
    bool appended;
  } cases[] = {
      {"fills exactly", MAX_VALUE_LENGTH - 11, 10, true},
      {"one byte over", MAX_VALUE_LENGTH - 10, 10, false},
      {"already full", MAX_VALUE_LENGTH, 1, false},
      {"stored list already too long", MAX_VALUE_LENGTH + 5, 1, false},
      {"path alone too long", 0, MAX_VALUE_LENGTH, false},
      {"path alone fits", 0, MAX_VALUE_LENGTH - 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string list(c.existing, 'x');
    std::string before = list;
    EXPECT_EQ(appendDeletionEntry(list, std::string(c.path, 'p')), c.appended);
    if (c.appended) {
      EXPECT_EQ(list, before + std::string(c.path, 'p') + ";");
      EXPECT_LE(list.size(), MAX_VALUE_LENGTH);
    } else {
      EXPECT_EQ(list, before);
    }
  }
}

TEST(CleanupList, ChildPathNeverDoublesTheSeparator) {
  EXPECT_EQ(childPath("C:\\t\\d", "x"), "C:\\t\\d\\x");
  EXPECT_EQ(childPath("C:\\t\\d\\", "x"), "C:\\t\\d\\x");
  EXPECT_EQ(childPath("C:\\", "*.*"), "C:\\*.*");
}

}  // namespace
}  // namespace plimo
