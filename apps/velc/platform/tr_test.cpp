#include "platform/tr.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

using k::Json;

TEST(Tr, NodeFindFallsBackToTheTemplateForInstances) {
  Json root = k::json_parse(
      R"({"Device":{"Hosts":{"Host":{"1":{"A":{"#attr":{"base":16}}},"#template":{"A":{"#attr":{"base":8}}}}}}})");
  EXPECT_EQ(k::tr_node_base(k::tr_node_find(root.get(), "Device.Hosts.Host.1.A")), 16);
  EXPECT_EQ(k::tr_node_base(k::tr_node_find(root.get(), "Device.Hosts.Host.7.A")), 8);
  EXPECT_EQ(k::tr_node_find(root.get(), "Device.Hosts.Host.x.A"), nullptr);
  EXPECT_EQ(k::conf_find_branch(root.get(), "Device.Hosts.Host.7.A"), nullptr);
}

TEST(Text, Conversions) {
  const struct {
    const char* text;
    int base;
    int64_t u32, i32;  // -1: refused (none of the numbers is -1)
  } cases[] = {
      {"0x10", 0, 16, 16},          {"010", 0, 8, 8},
      {"007", 10, 7, 7},            {"-5", 0, -1, -5},
      {"4294967295", 0, 4294967295, -1}, {"4294967296", 0, -1, -1},
      {"-2147483648", 10, -1, INT32_MIN}, {"12abc", 0, -1, -1},
      {"", 10, -1, -1},             {"\n5", 10, -1, -1},  // no white space before the number
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
