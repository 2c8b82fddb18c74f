#include <gtest/gtest.h>

#include <string>

#include "block/ConfigBlock.h"
#include "block/ConfigStore.h"
#include "tests/block/PeImageSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo {
namespace {

std::string int32(std::int32_t v) {
  std::string s;
  appendInt32(s, v);
  return s;
}

struct Decoded {
  LoadError error;
  ConfigStore store;
  std::uint64_t payloadOffset = 0;
};

Decoded decode(const std::string& bytes) {
  Decoded d;
  MemoryByteSource source(bytes);
  d.error = decodeConfigBlock(source, d.store, d.payloadOffset);
  return d;
}

TEST(ConfigBlock, RoundTripAtSeveralSizes) {
  for (std::size_t size : {0u, 1u, 8191u, 8192u, 100000u}) {
    BlockWriter writer;
    std::string narrow(size, 'n');
    std::u16string wide(size / 2, u'\x3042');
    writer.addNarrow(122, narrow);
    writer.addWide(20013, wide);
    writer.addWide(20001, u"\xD83D\xDE00 outside the BMP");
    std::string tables = writer.tables();
    Decoded d = decode(tables + "PAYLOAD");
    ASSERT_EQ(d.error, LoadError::None) << size;
    EXPECT_EQ(d.store.narrow[122], narrow);
    EXPECT_EQ(d.store.wide[20013], wide);
    EXPECT_EQ(d.store.wide[20001], u"\xD83D\xDE00 outside the BMP");
    EXPECT_EQ(d.payloadOffset, tables.size());
  }
}

TEST(ConfigBlock, LastRecordOfAnIdWinsAndTablesAreIndependent) {
  BlockWriter writer;
  writer.addNarrow(5, "first");
  writer.addNarrow(5, "second");
  writer.addWide(5, u"wide");
  Decoded d = decode(writer.tables());
  ASSERT_EQ(d.error, LoadError::None);
  EXPECT_EQ(d.store.narrow[5], "second");
  EXPECT_EQ(d.store.wide[5], u"wide");
}

TEST(ConfigBlock, ZeroAndNegativeCountsMeanEmptyTables) {
  for (std::int32_t count : {0, -1, -2147483647 - 1}) {
    std::string bytes = int32(static_cast<std::int32_t>(CONFIG_MAGIC)) + int32(count) + int32(count);
    Decoded d = decode(bytes);
    EXPECT_EQ(d.error, LoadError::None);
    EXPECT_TRUE(d.store.narrow.empty());
    EXPECT_TRUE(d.store.wide.empty());
    EXPECT_EQ(d.payloadOffset, 12u);
  }
}

TEST(ConfigBlock, DamagedBlocksGiveTheirError) {
  const std::string magic = int32(static_cast<std::int32_t>(CONFIG_MAGIC));
  struct Case {
    const char* name;
    std::string bytes;
    LoadError expected;
  } cases[] = {
      {"empty", "", LoadError::ReadInt},
      {"short magic", magic.substr(0, 3), LoadError::ReadInt},
      {"wrong magic", int32(0x12345678), LoadError::Magic},
      {"no narrow count", magic, LoadError::ReadInt},
      {"count past the end", magic + int32(3), LoadError::ReadInt},
      {"id without length", magic + int32(1) + int32(7) + "\x01\x00", LoadError::ReadInt},
      {"negative narrow length", magic + int32(1) + int32(7) + int32(-1), LoadError::ReadString},
      {"narrow length past the end", magic + int32(1) + int32(7) + int32(5) + "abcd", LoadError::ReadString},
      {"huge narrow length", magic + int32(1) + int32(7) + int32(0x7FFFFFFF) + "x", LoadError::ReadString},
      {"no wide count", magic + int32(0), LoadError::ReadInt},
      {"negative wide length", magic + int32(0) + int32(1) + int32(9) + int32(-4), LoadError::ReadWString},
      {"wide length past the end", magic + int32(0) + int32(1) + int32(9) + int32(4) + "ab", LoadError::ReadWString},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(c.bytes).error, c.expected) << c.name;
  }
}

TEST(ConfigBlock, ErrorTextsAreTheFixedOnes) {
  EXPECT_STREQ(loadErrorText(LoadError::OpenExeFile), "Internal Error: openExeFile");
  EXPECT_STREQ(loadErrorText(LoadError::Magic), "Internal Error: magic");
  EXPECT_STREQ(loadErrorText(LoadError::ReadInt), "Internal Error: readInt");
  EXPECT_STREQ(loadErrorText(LoadError::ReadString), "Internal Error: readString");
  EXPECT_STREQ(loadErrorText(LoadError::ReadWString), "Internal Error: readWString");
}

TEST(ConfigBlock, ReadConfigurationFindsTheBlockAfterTheImageAndIgnoresTrailingBytes) {
  std::string image = test::peImage(224, {{0x200, 0x80}});
  image.resize(0x280, '\x90');
  BlockWriter writer;
  writer.addNarrow(107, "5");
  writer.addNarrow(2001, "installer");
  std::string file = image + writer.tables() + payloadRecord("data") + std::string(300, '\x30');  // a signature
  MemoryByteSource source(file);
  ConfigStore store;
  std::uint64_t payloadOffset = 0;
  ASSERT_EQ(readConfiguration(source, store, payloadOffset), LoadError::None);
  EXPECT_EQ(payloadOffset, 0x280 + writer.tables().size());
  EXPECT_TRUE(store.messageBoxMode);
  EXPECT_EQ(store.launcherKind, 'i');
}

TEST(ConfigStoreTest, AccessorsHonourCapacityAndAbsence) {
  ConfigStore& store = configStore();
  store = ConfigStore();
  store.narrow[1] = "hello";
  store.narrow[2] = "  -42xyz";
  store.narrow[3] = "";
  store.narrow[4] = std::string(9000, 'v');
  store.wide[20013] = u"caption";

  char small[4];
  getConfigString(1, small, sizeof small);
  EXPECT_STREQ(small, "hel");
  char buffer[16] = "garbage";
  getConfigString(99, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(getConfigString(4).size(), 8191u);
  EXPECT_EQ(getConfigInt(2), -42);
  EXPECT_EQ(getConfigInt(3), 0);
  EXPECT_EQ(getConfigInt(99), 0);
  char16_t wide[5];
  getConfigWString(20013, wide, 5);
  EXPECT_EQ(std::u16string(wide), u"capt");
  EXPECT_EQ(getConfigWString(20014), u"");
  store = ConfigStore();
}

TEST(ConfigStoreTest, ApplicationTypeDecidesMessageBoxMode) {
  struct Case {
    const char* value;  // null: absent
    bool boxes;
  } cases[] = {{"1", true}, {"5", true}, {"0", false}, {"2", false}, {" 5", true}, {"5x", true}, {nullptr, false}};
  for (const Case& c : cases) {
    ConfigStore store;
    if (c.value) store.narrow[107] = c.value;
    deriveConfigFlags(store);
    EXPECT_EQ(store.messageBoxMode, c.boxes) << (c.value ? c.value : "(absent)");
  }
}

TEST(ConfigStoreTest, AtoiRules) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"", 0}, {"abc", 0}, {"12", 12}, {"\t\n 7", 7}, {"+3", 3}, {"-0", 0},
               {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}, {"1 2", 1}};
  for (const Case& c : cases) EXPECT_EQ(parseAtoi(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace plimo
