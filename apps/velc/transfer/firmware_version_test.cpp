// Version comparison: every difference the upgrade dialogue tells apart, and the texts it cannot
// compare.
#include "transfer/firmware_version.h"

#include <gtest/gtest.h>

namespace {

TEST(FirmwareVersion, ComparesByTheHighestDifferingPart) {
  constexpr int kInc = k::kVersionIncomparable;
  const struct {
    const char* current;
    const char* next;
    int expected;
  } cases[] = {
      {"4.2.1-b7", "4.2.1-b7", 0}, {"junk", "junk", 0}, {"4.2.2", "4.2.1", -1},
      {"4.2.9", "4.2.10", 1}, {"4.3.0", "4.2.9", -2}, {"4.9.1", "4.10.1", 2}, {"9.2.1", "10.0.0", 3},
      {"4.2.1-rc9", "4.3.0-rc1", 2},  // the numbers decide before the suffix
      // Equal numbers, different suffixes: a build difference, never 0.
      {"4.2.1", "4.2.1-build2031", 1}, {"4.2.1-build2031", "4.2.1", -1},
      {"4.2.1-build999", "4.2.1-build2031", 1}, {"4.2.1-a1", "4.2.1-a01", -1},
      // Not of the form: positive when only the current one is malformed.
      {"", "4.2.1", kInc}, {"4.02.1", "4.2.1", kInc}, {"1234567890.0.0", "4.2.1", kInc},
      {"4.2.1", "4.2.1.0", -kInc}, {"4.2.1", "4.2.1-", -kInc}, {"4.2.1", "4..1", -kInc},
  };
  for (const auto& c : cases)
    EXPECT_EQ(k::firmware_version_cmp(c.current, c.next), c.expected)
        << c.current << " -> " << c.next;
}

}  // namespace
