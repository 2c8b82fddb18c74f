#pragma once
// Where the dialogs' controls go when their texts are wider than the
// template allows for (a translation's button label, the download line with
// large figures). Pixels throughout; the Win32 side measures and moves.

namespace plimo {

// A row of buttons laid out from the right, as the template places them: the
// last ends at right, each one gap before the next, none narrower than it was.
// widths[i] is what button i needs (at least its current width) and receives
// its left edge in lefts[i]. The result is how many pixels the row reaches
// left of leftLimit: what the dialog must grow by (then shift the row right
// by that), 0 when the row fits.
int layOutButtonRow(const int* widths, int* lefts, int count, int right, int gap, int leftLimit);

// The width a dialog may grow by towards want without getting wider than
// the screen's work area.
int growthWithinScreen(int dialogWidth, int want, int screenWidth);

}  // namespace plimo
