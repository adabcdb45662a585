// The progress bar of a long device operation (the flashing of a firmware image).
//
// The operation's own line reads "LABEL " followed by up to 50 marks of the caller's. The bar is
// drawn on the same line, to the right of the room those marks may take: from column
// len(LABEL) + 52 (counting from 0), as "[" 10 cells "]" and the percentage, such as
// "[######....]  60%". Drawing saves the cursor, writes the bar and puts the cursor back, so
// the marks go on where they stopped and are never overwritten. The bar is drawn only on a
// terminal wide enough to hold it on that line; piped output, files and narrow terminals get
// nothing, so the marks alone carry the progress there.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace k {

// Columns the bar takes: "[", 10 cells, "]", a blank and "100%".
inline constexpr int kProgressbarWidth = 17;
// Marks the caller may print after "LABEL ".
inline constexpr int kProgressMarksMax = 50;

// The bytes that draw the bar at `percent` (clamped to 0..100) for `label` on a terminal of
// `columns` columns; empty when the bar does not fit.
std::string progressbar_text(int percent, std::string_view label, int columns);

// Draws the bar on `out` when it is a terminal (see above); does nothing otherwise.
void draw_progressbar(int percent, std::string_view label, FILE* out);

}  // namespace k
