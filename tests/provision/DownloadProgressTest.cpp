// The download's status line: figures, bar position and the checked format.
#include <gtest/gtest.h>

#include <string>

#include "provision/DownloadProgress.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo {
namespace {

std::u16string u16(const char* text) { return utf16FromUtf8(text); }
std::string u8(const std::u16string& text) { return utf8FromUtf16(text); }

TEST(DownloadProgress, FiguresAreMegabytesPercentAndBytesPerMillisecond) {
  ProgressFigures f = progressFigures(5u * 1048576u, 20u * 1048576u, 10000);
  EXPECT_DOUBLE_EQ(f.megabytesReceived, 5.0);
  EXPECT_DOUBLE_EQ(f.megabytesTotal, 20.0);
  EXPECT_DOUBLE_EQ(f.percent, 25.0);
  EXPECT_DOUBLE_EQ(f.rate, 524.288);
}

TEST(DownloadProgress, NoElapsedTimeGivesARateOfZero) {
  ProgressFigures f = progressFigures(16384, 100000, 0);
  EXPECT_EQ(f.rate, 0.0);
  EXPECT_DOUBLE_EQ(f.percent, 16.384);
  EXPECT_EQ(progressFigures(0, 0, 0).percent, 0.0);
}

TEST(DownloadProgress, BarPositionIsTruncatedPercentWithinRange) {
  struct Case {
    std::uint32_t received, length;
    int position;
  } cases[] = {
      {0, 100, 0},          {1, 100, 1},   {29, 100, 29},  {199, 200, 99},
      {100, 100, 100},      {0, 0, 0},     {0xFFFFFFFFu, 0xFFFFFFFFu, 100},
      {0x7FFFFFFFu, 0xFFFFFFFFu, 49},  // no overflow in the product
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progressBarPosition(c.received, c.length), c.position) << c.received << "/" << c.length;
  }
}

TEST(DownloadProgress, FormatSafety) {
  struct Case {
    const char* format;
    bool safe;
  } cases[] = {
      {"", true},
      {"plain text", true},
      {"%.1f of %.1f MB (%.0f%%), %.1f kb/s", true},
      {"%f %e %g %a", true},
      {"%F %E %G %A", true},
      {"%-8.2f|% f|%#g|%010.3e", true},
      {"%+f", true},
      {"%lf %lf", true},
      {"100%%", true},
      {"%%d is not a conversion", true},
      {"%f %f %f %f %f", false},  // a fifth argument was never given
      {"%d", false},
      {"%s", false},
      {"%ls", false},
      {"%n", false},
      {"%p", false},
      {"%*f", false},
      {"%.*f", false},
      {"%1$f", false},
      {"%Lf", false},
      {"%hf", false},
      {"%I64d", false},
      {"ends in %", false},
      {"%", false},
      {"%-", false},
      {"%.", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isSafeProgressFormat(u16(c.format)), c.safe) << c.format;
  }
}

TEST(DownloadProgress, FormatCheckNamesTheFaultAndWhereItStarts) {
  struct Case {
    const char* format;
    ProgressFormatFault fault;
    std::size_t at;
  } cases[] = {
      {"%.1f of %.1f", ProgressFormatFault::None, 0},
      {"%s of %f", ProgressFormatFault::NotFloatingPoint, 0},
      {"%f of %s", ProgressFormatFault::NotFloatingPoint, 6},
      {"100%% then %d", ProgressFormatFault::NotFloatingPoint, 11},
      {"%f %d %f %f %f", ProgressFormatFault::NotFloatingPoint, 3},  // the first fault wins
      {"%f %f %f %f %f", ProgressFormatFault::TooManyConversions, 12},
      {"%f%f%f%f%e", ProgressFormatFault::TooManyConversions, 8},
      {"ends in %", ProgressFormatFault::NotFloatingPoint, 8},
      {"%1234f", ProgressFormatFault::None, 0},  // widths are clamped, not refused
      {"%.99999999999999999999f", ProgressFormatFault::None, 0},
  };
  for (const Case& c : cases) {
    ProgressFormatCheck check = checkProgressFormat(u16(c.format));
    EXPECT_EQ(check.fault, c.fault) << c.format;
    if (c.fault != ProgressFormatFault::None) EXPECT_EQ(check.at, c.at) << c.format;
    EXPECT_EQ(isSafeProgressFormat(u16(c.format)), c.fault == ProgressFormatFault::None) << c.format;
  }
}

TEST(DownloadProgress, LongestLineCountsTextAndTheWiderOfWidthAndPrecision) {
  struct Case {
    const char* format;
    std::size_t longest;
  } cases[] = {
      {"", 0},
      {"plain", 5},
      {"100%%", 4},
      {"%f", 20 + 6},       // printf's precision
      {"%.1f", 20 + 1},
      {"%.f", 20 + 0},
      {"%30f", 30},
      {"%5.1f", 20 + 1},
      {"%30.12f", 32},
      {"[%f|%e]", 2 + 26 + 1 + 26},
      {"%1000f", PROGRESS_LINE_MAX},
      {"%.99999f", 20 + PROGRESS_LINE_MAX},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(checkProgressFormat(u16(c.format)).longestLine, c.longest) << c.format;
  }
}

TEST(DownloadProgress, LineFillsTheFourFiguresInOrder) {
  ProgressFigures f = progressFigures(5u * 1048576u, 20u * 1048576u, 10000);
  struct Case {
    const char* format;
    const char* line;
  } cases[] = {
      {"%.1f MB of %.1f MB (%.0f%%), %.3f kb/s", "5.0 MB of 20.0 MB (25%), 524.288 kb/s"},
      {"%f", "5.000000"},
      {"[%6.2f][%-6.1f]", "[  5.00][20.0  ]"},
      {"%e", "5.000000e+00"},
      {"%E|%.2e|%.1e", "5.000000E+00|2.00e+01|2.5e+01"},
      {"%g %g %g %g", "5 20 25 524.288"},
      {"%%%.0f%%", "%5%"},
      {"%lf", "5.000000"},
      {"no figures", "no figures"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(u8(formatProgressLine(u16(c.format), f)), c.line) << c.format;
  }
}

TEST(DownloadProgress, UnsafeFormatsAreShownAsTheyAre) {
  ProgressFigures f = progressFigures(1, 2, 3);
  for (const char* format : {"%s %s", "%d%%", "%f %f %f %f %f", "%n", "50%", "%*f"}) {
    EXPECT_EQ(u8(formatProgressLine(u16(format), f)), format);
  }
}

TEST(DownloadProgress, NonAsciiTextAroundConversionsIsKept) {
  ProgressFigures f = progressFigures(1048576, 2097152, 1000);
  EXPECT_EQ(u8(formatProgressLine(u16("ダウンロード中 %.1f / %.1f MB"), f)), "ダウンロード中 1.0 / 2.0 MB");
}

TEST(DownloadProgress, LinesAreCutAtTheirLimit) {
  ProgressFigures f = progressFigures(1, 2, 3);
  EXPECT_EQ(formatProgressLine(std::u16string(1500, u'x'), f).size(), PROGRESS_LINE_MAX);
  // Widths and precisions far beyond the line are harmless.
  std::u16string wide = formatProgressLine(u16("%99999999999999999999.3f"), f);
  EXPECT_EQ(wide.size(), PROGRESS_LINE_MAX);
  EXPECT_EQ(u8(wide.substr(PROGRESS_LINE_MAX - 6)), " 0.000");
  std::u16string precise = formatProgressLine(u16("%.5000f"), f);
  EXPECT_EQ(precise.size(), PROGRESS_LINE_MAX);
  EXPECT_EQ(u8(precise.substr(0, 6)), "0.0000");
  // A surrogate pair is not split by the cut.
  std::u16string pairs = u16("ab");
  for (int i = 0; i < 600; ++i) pairs += u16("😀");
  std::u16string cut = formatProgressLine(pairs, f);
  EXPECT_EQ(cut.size(), PROGRESS_LINE_MAX - 1);
  EXPECT_TRUE(cut.back() >= 0xDC00 && cut.back() <= 0xDFFF);
}

}  // namespace
}  // namespace plimo
