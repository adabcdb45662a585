#include "platform/tr.h"

#include <gtest/gtest.h>

#include <tuple>

#include "platform/text.h"

TEST(Tr, PathTexts) {
  EXPECT_TRUE(k::tr_path_is_full("Device.X") && k::tr_path_is_partial("Device."));
  EXPECT_FALSE(k::tr_path_is_full("Device.") || k::tr_path_is_full("") ||
               k::tr_path_is_partial(""));
  for (auto [path, parent] : {std::pair{"Device.Hosts.Host.3.", "Device.Hosts.Host."},
                              {"Device.Hosts.Host.3", "Device.Hosts.Host"}, {"Device.", ""}})
    EXPECT_EQ(k::tr_parent_path(path), parent) << path;
}

TEST(Text, Conversions) {
  // Text, base, then the unsigned 32-bit result and value, the signed one's.
  const std::tuple<const char*, int, int, uint32_t, int, int32_t> cases[] = {
      {"0x10", 0, 0, 16, 0, 16}, {"010", 0, 0, 8, 0, 8}, {"-5", 0, -1, 0, 0, -5},
      {"4294967295", 0, 0, 4294967295u, -1, 0}, {"4294967296", 0, -1, 0, -1, 0},
      {"2147483648", 10, 0, 2147483648u, -1, 0}, {"-2147483648", 10, -1, 0, 0, INT32_MIN},
      {"12abc", 0, -1, 0, -1, 0}, {"", 10, -1, 0, -1, 0},
      {"\n5", 10, -1, 0, -1, 0},  // no white space of any kind first
  };
  for (const auto& [text, base, u32_result, u32, i32_result, i32] : cases) {
    uint32_t u = 0;
    int32_t i = 0;
    EXPECT_EQ(k::string_to_u32(text, base, u), u32_result) << text;
    EXPECT_EQ(k::string_to_i32(text, base, i), i32_result) << text;
    EXPECT_EQ(u32_result == 0 ? u : u32, u32) << text;
    EXPECT_EQ(i32_result == 0 ? i : i32, i32) << text;
  }
  double d = 0;
  EXPECT_TRUE(k::string_to_double("1.5e3", d) == 0 && d == 1500);
  for (const char* bad : {"1.5x", "", "\f1.5"}) EXPECT_LT(k::string_to_double(bad, d), 0) << bad;
}
