#include "provision/ControlFit.h"

namespace plimo {

int layOutButtonRow(const int* widths, int* lefts, int count, int right, int gap, int leftLimit) {
  int edge = right;
  for (int i = count - 1; i >= 0; --i) {
    lefts[i] = edge - widths[i];
    edge = lefts[i] - gap;
  }
  int leftmost = count > 0 ? lefts[0] : right;
  return leftmost < leftLimit ? leftLimit - leftmost : 0;
}

int growthWithinScreen(int dialogWidth, int want, int screenWidth) {
  int room = screenWidth - dialogWidth;
  if (want <= 0 || room <= 0) return 0;
  return want < room ? want : room;
}

}  // namespace plimo
