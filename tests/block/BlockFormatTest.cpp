// The block's byte layout, read and written by the same module: every field
// is checked against a reference computed here a byte at a time, so that a
// fault shared by the reader and the writer cannot cancel itself out.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "block/BlockFormat.h"
#include "block/ByteSource.h"
#include "tests/block/PeImageSupport.h"

namespace plimo {
namespace {

using test::peImage;

TEST(BlockFormat, Int32FieldsAreLittleEndianAndRoundTrip) {
  const std::int32_t values[] = {0, 1, -1, 255, 256, 0x01020304, -2147483647 - 1, 2147483647, -123456789};
  for (std::int32_t value : values) {
    SCOPED_TRACE(value);
    std::string field;
    appendInt32(field, value);
    ASSERT_EQ(field.size(), INT32_FIELD_SIZE);
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    for (std::size_t k = 0; k < INT32_FIELD_SIZE; ++k) {
      EXPECT_EQ(static_cast<unsigned char>(field[k]), (bits >> (8 * k)) & 0xFF) << "byte " << k;
    }
    EXPECT_EQ(int32FromBytes(reinterpret_cast<const unsigned char*>(field.data())), value);
    std::string followed = field + "after";
    MemoryByteSource source(followed);
    std::int32_t read = 0;
    ASSERT_TRUE(readInt32(source, read));
    EXPECT_EQ(read, value);
    EXPECT_EQ(source.position(), INT32_FIELD_SIZE);
  }
}

TEST(BlockFormat, Int32FieldCutShortIsNotRead) {
  for (std::size_t available = 0; available < INT32_FIELD_SIZE; ++available) {
    std::string bytes("\x01\x02\x03", available);
    MemoryByteSource source(bytes);
    std::int32_t value = 77;
    EXPECT_FALSE(readInt32(source, value)) << available;
    EXPECT_EQ(value, 77) << available;
  }
}

std::string field(std::int32_t value) {
  std::string out;
  appendInt32(out, value);
  return out;
}

TEST(BlockFormat, RecordBytesAreHeldAgainstWhatRemains) {
  struct Case {
    const char* name;
    std::string bytes;
    bool read;
    std::string text;
  } cases[] = {
      {"text", field(5) + "hello, and more", true, "hello"},
      {"empty", field(0) + "x", true, ""},
      {"exactly what remains", field(3) + "abc", true, "abc"},
      {"one byte past the end", field(4) + "abc", false, ""},
      {"largest length", field(2147483647) + "abc", false, ""},
      {"negative length", field(-1) + "abc", false, ""},
      {"length cut short", std::string("\x02\x00", 2), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryByteSource source(c.bytes);
    std::string text;
    EXPECT_EQ(readRecordBytes(source, text), c.read);
    if (c.read) EXPECT_EQ(text, c.text);
  }
}

TEST(BlockFormat, WideTextIsUtf16LittleEndianAndRoundTrips) {
  const std::u16string texts[] = {u"",         u"a", u"Setup", u"\x3042\x3044", u"\xD83D\xDE00 outside the BMP",
                                  u"\xFFFF\x0100"};
  for (const std::u16string& text : texts) {
    std::string bytes;
    appendUtf16Le(bytes, text);
    ASSERT_EQ(bytes.size(), 2 * text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
      EXPECT_EQ(static_cast<unsigned char>(bytes[2 * k]), text[k] & 0xFF);
      EXPECT_EQ(static_cast<unsigned char>(bytes[2 * k + 1]), text[k] >> 8);
    }
    EXPECT_EQ(utf16FromLeBytes(bytes), text);
    // An odd trailing byte cannot form a code unit.
    EXPECT_EQ(utf16FromLeBytes(bytes + "\x41"), text);
  }
}

TEST(BlockFormat, PayloadKeyIsAppliedToEveryByteAtEveryAlignment) {
  std::string original(64, '\0');
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<char>(i * 37 + 11);
  for (std::size_t start = 0; start < 9; ++start) {
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 16u, 17u, 55u}) {
      SCOPED_TRACE(std::to_string(start) + "+" + std::to_string(n));
      std::string data = original;
      applyPayloadKey(reinterpret_cast<unsigned char*>(&data[start]), n);
      for (std::size_t i = 0; i < data.size(); ++i) {
        bool inside = i >= start && i < start + n;
        unsigned char expected = static_cast<unsigned char>(original[i]) ^ (inside ? PAYLOAD_KEY : 0);
        ASSERT_EQ(static_cast<unsigned char>(data[i]), expected) << "byte " << i;
      }
      applyPayloadKey(reinterpret_cast<unsigned char*>(&data[start]), n);
      EXPECT_EQ(data, original) << "the key is its own inverse";
    }
  }
}

TEST(BlockFormat, PeHeaderGivesTheMachineAndTheSectionTable) {
  struct Case {
    std::uint16_t machine;
    std::uint16_t optionalSize;
    std::size_t sections;
  } cases[] = {{PE_MACHINE_X86, 224, 3}, {PE_MACHINE_X64, 240, 2}, {0x1C4, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine);
    std::string image = peImage(c.optionalSize, std::vector<test::RawSection>(c.sections, {0x400, 0x200}), c.machine);
    MemoryByteSource source(image);
    PeHeader header;
    ASSERT_EQ(readPeHeader(source, header), LoadError::None);
    EXPECT_EQ(header.machine, c.machine);
    EXPECT_EQ(header.sectionCount, c.sections);
    // The DOS header points at 0x80; signature and file header take 24 bytes.
    EXPECT_EQ(header.sectionTable, 0x80u + 24 + c.optionalSize);
    EXPECT_EQ(image.size() - header.sectionTable, 40 * c.sections);
  }
}

TEST(BlockFormat, EndOfImageIsTheEndOfTheFurthestSection) {
  struct Case {
    std::uint16_t optionalSize;
    std::vector<test::RawSection> sections;
    std::uint64_t expected;
  } cases[] = {
      {224, {{0x400, 0x200}, {0x600, 0x1000}, {0x1600, 0x200}}, 0x1800},  // 32-bit layout
      {240, {{0x400, 0x200}, {0x600, 0x1000}}, 0x1600},                   // 64-bit layout
      {224, {{0x400, 0x2000}, {0x2400, 0}, {0x600, 0x200}}, 0x2400},     // empty and out-of-order sections
  };
  for (const Case& c : cases) {
    std::string image = peImage(c.optionalSize, c.sections);
    MemoryByteSource source(image);
    std::uint64_t end = 0;
    ASSERT_EQ(findEndOfImage(source, end), LoadError::None);
    EXPECT_EQ(end, c.expected);
  }
}

TEST(BlockFormat, BrokenHeadersAreRefused) {
  std::string good = peImage(224, {{0x400, 0x200}});
  std::string notMz = good;
  notMz[0] = 'X';
  std::string notPe = good;
  notPe[0x80] = 'X';
  struct Case {
    const char* name;
    std::string bytes;
    LoadError header;  // readPeHeader
    LoadError end;     // findEndOfImage
  } cases[] = {
      {"too short for the DOS header", good.substr(0, 40), LoadError::ReadInt, LoadError::ReadInt},
      {"no MZ", notMz, LoadError::Magic, LoadError::Magic},
      {"no PE signature", notPe, LoadError::Magic, LoadError::Magic},
      {"file header cut short", good.substr(0, 0x80 + 10), LoadError::ReadInt, LoadError::ReadInt},
      {"section table cut short", good.substr(0, good.size() - 10), LoadError::None, LoadError::ReadInt},
      {"no sections", peImage(224, {}), LoadError::None, LoadError::Magic},
      {"sections without data", peImage(224, {{0x400, 0}, {0x600, 0}}), LoadError::None, LoadError::Magic},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryByteSource source(c.bytes);
    PeHeader header;
    EXPECT_EQ(readPeHeader(source, header), c.header);
    std::uint64_t end = 0;
    EXPECT_EQ(findEndOfImage(source, end), c.end);
  }
}

}  // namespace
}  // namespace plimo
