#include "datamodel/tree.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

using k::Json;

TEST(Tr, NamesToConfigBuildsATreeRelativeToTheBase) {
  Json list = k::json_parse(R"([
    {"Name":"Device.","Attributes":{"type":"object"}},
    {"Name":"Device.DeviceInfo.","Attributes":{"type":"object"}},
    {"Name":"Device.DeviceInfo.Manufacturer","Attributes":{"type":"string"}},
    {"Name":"Device.Hosts.Host.#template.HostName","Attributes":{"type":"string"}},
    {"Name":"Other.X","Attributes":{}}])");
  Json tree = k::tr_names_to_config(list.get(), "Device.");
  EXPECT_TRUE(json_object_get(tree.get(), "#info"));  // the base's own entry
  EXPECT_TRUE(k::conf_find_branch(tree.get(), "DeviceInfo.Manufacturer.#info"));
  EXPECT_TRUE(k::conf_find_branch(tree.get(), "Hosts.Host.#template.HostName"));
  EXPECT_FALSE(json_object_get(tree.get(), "Other"));

  Json absolute = k::tr_names_to_config(list.get(), nullptr);
  EXPECT_TRUE(k::conf_find_branch(absolute.get(), "Device.DeviceInfo."));
}

TEST(Tr, ConfigToNameValuesWalksObjectsAndKeepsOtherValuesWhole) {
  Json config = k::json_parse(
      R"({"HostName":"pc","IP":{"1":{"Address":"10.0.0.2","Enable":true}},"Empty":{},)"
      R"("order":[3,1],"Note":null})");
  const std::pair<const char*, const char*> cases[] = {
      {"Device.Hosts.Host.1.",
       R"([{"Name":"Device.Hosts.Host.1.HostName","Value":"pc"},)"
       R"({"Name":"Device.Hosts.Host.1.IP.1.Address","Value":"10.0.0.2"},)"
       R"({"Name":"Device.Hosts.Host.1.IP.1.Enable","Value":true},)"
       R"({"Name":"Device.Hosts.Host.1.order","Value":[3,1]},)"
       R"({"Name":"Device.Hosts.Host.1.Note","Value":null}])"},
      // A base without its trailing dot still names an object; the root adds nothing.
      {"Device.X", R"([{"Name":"Device.X.HostName","Value":"pc"},)"
                   R"({"Name":"Device.X.IP.1.Address","Value":"10.0.0.2"},)"
                   R"({"Name":"Device.X.IP.1.Enable","Value":true},)"
                   R"({"Name":"Device.X.order","Value":[3,1]},)"
                   R"({"Name":"Device.X.Note","Value":null}])"},
      {".", R"([{"Name":"HostName","Value":"pc"},{"Name":"IP.1.Address","Value":"10.0.0.2"},)"
            R"({"Name":"IP.1.Enable","Value":true},{"Name":"order","Value":[3,1]},)"
            R"({"Name":"Note","Value":null}])"},
  };
  for (const auto& [base, expected] : cases) {
    Json list = k::tr_config_to_namevalues(config.get(), base);
    EXPECT_EQ(k::json_dump(list.get(), JSON_COMPACT),
              k::json_dump(k::json_parse(expected).get(), JSON_COMPACT))
        << base;
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

TEST(Tr, InstanceNumbersHaveOneToTwentyDigits) {
  const std::pair<const char*, bool> cases[] = {
      {"0", true}, {"00042", true}, {"12345678901234567890", true}, {"", false},
      {"123456789012345678901", false}, {"12a", false}, {"-1", false}};
  for (const auto& [text, yes] : cases) EXPECT_EQ(k::tr_is_instance_number(text), yes) << text;
}

TEST(Tr, PathTexts) {
  EXPECT_TRUE(k::tr_path_is_full("Device.X"));
  EXPECT_FALSE(k::tr_path_is_full("Device."));
  EXPECT_FALSE(k::tr_path_is_full(""));
  EXPECT_EQ(k::tr_parent_path("Device.Hosts.Host.3."), "Device.Hosts.Host.");
  EXPECT_EQ(k::tr_parent_path("Device.Hosts.Host.3"), "Device.Hosts.Host");
  EXPECT_EQ(k::tr_parent_path("Device."), "");
}

TEST(Text, Conversions) {
  struct Case {
    const char* text;
    int base;
    int u32_result;
    uint32_t u32;
    int i32_result;
    int32_t i32;
  };
  const Case cases[] = {
      {"42", 10, 0, 42, 0, 42},
      {"0x10", 0, 0, 16, 0, 16},
      {"010", 0, 0, 8, 0, 8},
      {"-5", 0, -1, 0, 0, -5},
      {"4294967295", 0, 0, 4294967295u, -1, 0},
      {"4294967296", 0, -1, 0, -1, 0},
      {"2147483648", 10, 0, 2147483648u, -1, 0},
      {"-2147483648", 10, -1, 0, 0, INT32_MIN},
      {"12abc", 0, -1, 0, -1, 0},
      {"", 10, -1, 0, -1, 0},
      {" 7", 10, -1, 0, -1, 0},
      {"\n5", 10, -1, 0, -1, 0},  // no white space of any kind before the number
      {"\r0x10", 0, -1, 0, -1, 0},
      {"007", 10, 0, 7, 0, 7},
  };
  for (const auto& c : cases) {
    uint32_t u = 0;
    int32_t i = 0;
    EXPECT_EQ(k::string_to_u32(c.text, c.base, u), c.u32_result) << c.text;
    if (c.u32_result == 0) {
      EXPECT_EQ(u, c.u32) << c.text;
    }
    EXPECT_EQ(k::string_to_i32(c.text, c.base, i), c.i32_result) << c.text;
    if (c.i32_result == 0) {
      EXPECT_EQ(i, c.i32) << c.text;
    }
  }
  double d = 0;
  EXPECT_EQ(k::string_to_double("1.5e3", d), 0);
  EXPECT_EQ(d, 1500);
  EXPECT_LT(k::string_to_double("1.5x", d), 0);
  EXPECT_LT(k::string_to_double("", d), 0);
  EXPECT_LT(k::string_to_double("\f1.5", d), 0);
}

}  // namespace
