// Comparing firmware version texts, for the version dialogue of a firmware upgrade.
//
// A version text is MAJOR.MINOR.BUILD[-SUFFIX]: three decimal numbers (each "0" or 1 to 9 digits
// without a leading zero) joined by ".", optionally followed by "-" and a suffix of one or more
// printable characters other than the blank ("4.2.1", "4.2.1-build2031"). Any other text is not
// a version text.
#pragma once

#include <string_view>

namespace k {

// Returned for versions that cannot be compared (see firmware_version_cmp).
inline constexpr int kVersionIncomparable = 2147483647;

// How `next` differs from `current`; positive when `next` is newer (an upgrade), negative when it
// is older:
//   0   the texts are equal (only then);
//   ±3  the majors differ; ±2 the minors differ (same major); ±1 the builds differ (same major
//       and minor), or only the suffixes differ: no suffix comes before any suffix, and suffixes
//       are ordered with their runs of digits compared as numbers ("build999" < "build2031");
//   kVersionIncomparable when `current` is not a version text but `next` is;
//   -kVersionIncomparable when `next` is not a version text (whatever `current` is).
int firmware_version_cmp(std::string_view current, std::string_view next);

}  // namespace k
