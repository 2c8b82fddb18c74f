// Where the dialogs' buttons go when their labels are wider than the
// template's, and how far a dialog may grow.
#include <gtest/gtest.h>

#include <vector>

#include "provision/ControlFit.h"

namespace plimo {
namespace {

TEST(ControlFit, ButtonRowsKeepTheirRightEdgeAndSpacing) {
  struct Case {
    const char* what;
    std::vector<int> widths;
    int right, gap, leftLimit;
    std::vector<int> lefts;
    int over;
  } cases[] = {
      // The template's row (50 dialog units at 1.5 pixels: 75, gaps of 9).
      {"as drawn", {75, 75, 75}, 335, 9, 15, {92, 176, 260}, 0},
      // A wider middle label pushes the first button left, not the last.
      {"wide middle", {75, 120, 75}, 335, 9, 15, {47, 131, 260}, 0},
      {"reaches the margin", {75, 212, 75}, 335, 9, 15, {-45, 39, 260}, 60},
      {"one button", {90}, 335, 0, 15, {245}, 0},
      {"none", {}, 335, 9, 15, {}, 0},
  };
  for (const Case& c : cases) {
    std::vector<int> lefts(c.widths.size(), -1);
    EXPECT_EQ(layOutButtonRow(c.widths.data(), lefts.data(), static_cast<int>(c.widths.size()), c.right, c.gap,
                              c.leftLimit),
              c.over)
        << c.what;
    EXPECT_EQ(lefts, c.lefts) << c.what;
  }
}

TEST(ControlFit, DialogsGrowOnlyWithinTheScreen) {
  struct Case {
    int width, want, screen, growth;
  } cases[] = {
      {350, 60, 1024, 60}, {350, 60, 380, 30}, {350, 60, 350, 0}, {1200, 60, 1024, 0}, {350, 0, 1024, 0},
      {350, -5, 1024, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(growthWithinScreen(c.width, c.want, c.screen), c.growth) << c.width << " " << c.want << " " << c.screen;
  }
}

}  // namespace
}  // namespace plimo
