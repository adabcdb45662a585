#include "datamodel/tree.h"

#include <gtest/gtest.h>

namespace {

using k::Json;

TEST(Tree, NamesToConfigBuildsATreeRelativeToTheBase) {
  Json list = k::json_parse(R"([
    {"Name":"Device.","Attributes":{"type":"object"}},
    {"Name":"Device.DeviceInfo.Manufacturer","Attributes":{"type":"string"}},
    {"Name":"Device.Hosts.Host.#template.HostName","Attributes":{"type":"string"}},
    {"Name":"Other.X","Attributes":{}}])");
  Json tree = k::tr_names_to_config(list.get(), "Device.");
  EXPECT_TRUE(json_object_get(tree.get(), "#info"));  // the base's own entry
  EXPECT_TRUE(k::conf_find_branch(tree.get(), "DeviceInfo.Manufacturer.#info"));
  EXPECT_TRUE(k::conf_find_branch(tree.get(), "Hosts.Host.#template.HostName"));
  EXPECT_FALSE(json_object_get(tree.get(), "Other"));
  EXPECT_TRUE(k::conf_find_branch(k::tr_names_to_config(list.get(), nullptr).get(), "Device."));
}

TEST(Tree, ConfigToNameValuesWalksObjectsAndKeepsOtherValuesWhole) {
  Json config = k::json_parse(R"({"HostName":"pc","IP":{"1":{"Enable":true}},"Empty":{},)"
                              R"("order":[3,1],"Note":null})");
  // A base without its trailing dot still names an object; the root adds nothing.
  for (const char* base : {"Device.X.", "Device.X", "."}) {
    std::string prefix = *base == '.' ? "" : "Device.X.";
    Json expected = k::json_parse(
        R"([{"Name":")" + prefix + R"(HostName","Value":"pc"},{"Name":")" + prefix +
        R"(IP.1.Enable","Value":true},{"Name":")" + prefix + R"(order","Value":[3,1]},)"
        R"({"Name":")" + prefix + R"(Note","Value":null}])");
    EXPECT_TRUE(json_equal(k::tr_config_to_namevalues(config.get(), base).get(), expected.get()))
        << base;
  }
}

TEST(Tree, NodeFindFallsBackToTheTemplateForInstances) {
  Json root = k::json_parse(R"({"Device":{"Hosts":{"Host":{"1":{"A":{"#attr":{"base":16}}},)"
                            R"("#template":{"A":{"#attr":{"base":8}}}}}}})");
  EXPECT_EQ(k::tr_node_base(k::tr_node_find(root.get(), "Device.Hosts.Host.1.A")), 16);
  EXPECT_EQ(k::tr_node_base(k::tr_node_find(root.get(), "Device.Hosts.Host.7.A")), 8);
  EXPECT_EQ(k::tr_node_find(root.get(), "Device.Hosts.Host.x.A"), nullptr);
  EXPECT_EQ(k::conf_find_branch(root.get(), "Device.Hosts.Host.7.A"), nullptr);
}

TEST(Tree, InstanceNumbersHaveOneToTwentyDigits) {
  const std::pair<const char*, bool> cases[] = {
      {"0", true}, {"00042", true}, {"12345678901234567890", true}, {"", false},
      {"123456789012345678901", false}, {"12a", false}, {"-1", false}};
  for (const auto& [text, yes] : cases) EXPECT_EQ(k::tr_is_instance_number(text), yes) << text;
}

}  // namespace
