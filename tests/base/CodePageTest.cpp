// The code-page facts the text rules and the exact ANSI conversions rest on.
#include <gtest/gtest.h>

#include <vector>

#include "base/CodePage.h"

namespace plimo {
namespace {

TEST(CodePage, LeadBytesAndExactConversionByCodePage) {
  struct Case {
    unsigned page;
    std::vector<int> leads;     // bytes that open a double-byte character
    std::vector<int> singles;   // bytes that do not
    unsigned flags;
    bool reportsDefaultUse;
  } cases[] = {
      {1252, {}, {0x41, 0x5C, 0x81, 0x95, 0xFE}, NO_BEST_FIT_CHARS, true},
      {1251, {}, {0x81, 0xC0, 0xFF}, NO_BEST_FIT_CHARS, true},
      {932, {0x81, 0x95, 0x9F, 0xE0, 0xFC}, {0x40, 0x5C, 0x7F, 0x80, 0xA0, 0xDF, 0xFD}, NO_BEST_FIT_CHARS, true},
      {936, {0x81, 0xB3, 0xFE}, {0x5C, 0x80, 0xFF}, NO_BEST_FIT_CHARS, true},
      {949, {0x81, 0xFE}, {0x41, 0x80, 0xFF}, NO_BEST_FIT_CHARS, true},
      {950, {0x81, 0xFE}, {0x5C, 0x80, 0xFF}, NO_BEST_FIT_CHARS, true},
      {54936, {0x81, 0xFE}, {0x30, 0x80}, 0, false},
      {65001, {}, {0x41, 0x80, 0xC3, 0xE3, 0xF0}, 0, false},
      {50220, {}, {}, 0, false},
      {42, {}, {}, 0, false},
  };
  for (const Case& c : cases) {
    CodePage page(c.page);
    for (int b : c.leads) EXPECT_TRUE(page.isLeadByte(static_cast<unsigned char>(b))) << c.page << " " << b;
    for (int b : c.singles) EXPECT_FALSE(page.isLeadByte(static_cast<unsigned char>(b))) << c.page << " " << b;
    ExactConversion way = exactConversionFor(c.page);
    EXPECT_EQ(way.flags, c.flags) << c.page;
    EXPECT_EQ(way.reportsDefaultUse, c.reportsDefaultUse) << c.page;
  }
}

}  // namespace
}  // namespace plimo
