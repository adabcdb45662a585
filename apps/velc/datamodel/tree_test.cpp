#include "datamodel/tree.h"

#include <gtest/gtest.h>

#include "datamodel/schema_node.h"

namespace {

using k::Json;

// veld's ParameterList becomes nodes below the base, whose own entry gives the top node's
// attributes; "#template" and "#input" elements lead to the template and the arguments.
TEST(SchemaNodes, FromAParameterListRelativeToTheBase) {
  Json list = k::json_parse(R"([
    {"Name":"Device.","Attributes":{"type":"object"}},
    {"Name":"Device.DeviceInfo.Manufacturer","Attributes":{"type":"string","access":"readOnly"}},
    {"Name":"Device.Hosts.Host.#template.HostName","Attributes":{"type":"string","base":16}},
    {"Name":"Device.IP.Ping.#input.Host","Attributes":{"type":"string","default":""}},
    {"Name":"Other.X","Attributes":{}}])");
  SchemaNodePtr tree = schema_nodes_from_list(list.get(), "Device.");
  EXPECT_EQ(tree->attributes.type, k::kTypeObject);
  EXPECT_TRUE(schema_node_at(tree.get(), "DeviceInfo.Manufacturer")->attributes.read_only);
  EXPECT_TRUE(schema_node_at(tree.get(), "IP.Ping")->input->child("Host")->attributes.default_value);
  EXPECT_EQ(tree->children().size(), 3u);  // "Other" is outside the base
  // An instance the tree does not hold is described by the template.
  SchemaNodePtr absolute = schema_nodes_from_list(list.get(), ".");
  for (const char* instance : {"Device.Hosts.Host.#template.HostName", "Device.Hosts.Host.7.HostName"})
    EXPECT_EQ(schema_node_describing(absolute.get(), instance)->attributes.base, 16) << instance;
  EXPECT_FALSE(schema_node_describing(absolute.get(), "Device.Hosts.Host.x.HostName"));
  EXPECT_FALSE(schema_node_at(absolute.get(), "Device.Hosts.Host.7.HostName"));
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

TEST(Tree, InstanceNumbersHaveOneToTwentyDigits) {
  const std::pair<const char*, bool> cases[] = {
      {"0", true}, {"00042", true}, {"12345678901234567890", true}, {"", false},
      {"123456789012345678901", false}, {"12a", false}, {"-1", false}};
  for (const auto& [text, yes] : cases) EXPECT_EQ(k::tr_is_instance_number(text), yes) << text;
}

}  // namespace
