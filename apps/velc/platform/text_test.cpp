// Numbers read from text: the whole text, in range, nothing before it.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Conversions) {
  const struct {
    const char* text;
    int base;
    int64_t u32, i32;  // -1: refused (none of the numbers is -1)
  } cases[] = {
      {"0x10", 0, 16, 16},          {"010", 0, 8, 8},           {"-5", 0, -1, -5},
      {"4294967295", 0, 4294967295, -1}, {"4294967296", 0, -1, -1},
      {"-2147483648", 10, -1, INT32_MIN}, {"12abc", 0, -1, -1},
      {"\n5", 10, -1, -1},  // no white space before the number
  };
  for (const auto& c : cases) {
    uint32_t u = 0;
    int32_t i = 0;
    EXPECT_EQ(k::string_to_u32(c.text, c.base, u) == 0 ? int64_t(u) : -1, c.u32) << c.text;
    EXPECT_EQ(k::string_to_i32(c.text, c.base, i) == 0 ? int64_t(i) : -1, c.i32) << c.text;
  }
  double d = 0;
  EXPECT_EQ(k::string_to_double("1.5e3", d), 0);
  EXPECT_EQ(d, 1500);
  for (const char* bad : {"1.5x", "", "\f1.5"}) EXPECT_LT(k::string_to_double(bad, d), 0) << bad;
}

}  // namespace
