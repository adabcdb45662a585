#include "platform/tr.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

using k::Json;

TEST(Tr, NamesToConfigAndBack) {
  Json list = k::json_parse(R"([{"Name":"Device.","Attributes":{"type":"object"}},
    {"Name":"Device.DeviceInfo.Manufacturer","Attributes":{"type":"string"}},
    {"Name":"Device.Hosts.Host.#template.HostName","Attributes":{}},{"Name":"Other.X"}])");
  Json tree = k::tr_names_to_config(list.get(), "Device.");
  EXPECT_TRUE(json_object_get(tree.get(), "#info"));  // the base's own entry
  EXPECT_TRUE(k::conf_find_branch(tree.get(), "DeviceInfo.Manufacturer.#info"));
  EXPECT_TRUE(k::conf_find_branch(tree.get(), "Hosts.Host.#template.HostName"));
  EXPECT_FALSE(json_object_get(tree.get(), "Other"));
  EXPECT_TRUE(k::conf_find_branch(k::tr_names_to_config(list.get(), nullptr).get(), "Device.DeviceInfo."));

  // Objects are walked, other values kept whole; a base without its dot still names an object.
  Json config = k::json_parse(R"({"H":"pc","IP":{"1":{"On":true}},"Empty":{},"o":[3,1]})");
  for (const auto& [base, prefix] : {std::pair{"Device.X.", "Device.X."}, {"Device.X", "Device.X."}, {".", ""}}) {
    std::string p = prefix, expected = R"([{"Name":")" + p + R"(H","Value":"pc"},{"Name":")" + p +
                                       R"(IP.1.On","Value":true},{"Name":")" + p + R"(o","Value":[3,1]}])";
    EXPECT_EQ(k::json_dump(k::tr_config_to_namevalues(config.get(), base).get(), JSON_COMPACT), expected) << base;
  }
}

TEST(Tr, NodeFindFallsBackToTheTemplateForInstances) {
  Json root = k::json_parse(
      R"({"Device":{"Hosts":{"Host":{"1":{"A":{"#attr":{"base":16}}},"#template":{"A":{"#attr":{"base":8}}}}}}})");
  EXPECT_EQ(k::tr_node_base(k::tr_node_find(root.get(), "Device.Hosts.Host.1.A")), 16);
  EXPECT_EQ(k::tr_node_base(k::tr_node_find(root.get(), "Device.Hosts.Host.7.A")), 8);
  EXPECT_EQ(k::tr_node_find(root.get(), "Device.Hosts.Host.x.A"), nullptr);
  EXPECT_EQ(k::conf_find_branch(root.get(), "Device.Hosts.Host.7.A"), nullptr);
}

TEST(Tr, PathTexts) {
  for (const auto& [text, yes] : {std::pair{"0", true}, {"12345678901234567890", true}, {"", false},
                                  {"123456789012345678901", false}, {"12a", false}})
    EXPECT_EQ(k::tr_is_instance_number(text), yes) << text;
  EXPECT_TRUE(k::tr_path_is_full("Device.X"));
  EXPECT_FALSE(k::tr_path_is_full("Device."));
  EXPECT_EQ(k::tr_parent_path("Device.Hosts.Host.3."), "Device.Hosts.Host.");
  EXPECT_EQ(k::tr_parent_path("Device.Hosts.Host.3"), "Device.Hosts.Host");
  EXPECT_EQ(k::tr_parent_path("Device."), "");
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
