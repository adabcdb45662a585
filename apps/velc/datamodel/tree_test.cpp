#include "datamodel/tree.h"

#include <gtest/gtest.h>

#include "datamodel/schema_node.h"

// veld's ParameterList becomes nodes below the base, whose own entry gives the top node's
// attributes; "#template" and "#input" elements lead to the template and the arguments.
TEST(SchemaNodes, FromAParameterListRelativeToTheBase) {
  k::Json list = k::json_parse(R"([{"Name":"Device.","Attributes":{"type":"object"}},
    {"Name":"Device.Hosts.Host.#template.HostName","Attributes":{"type":"string","base":16}},
    {"Name":"Device.IP.Ping.#input.Host","Attributes":{"type":"string","default":""}},
    {"Name":"Other.X","Attributes":{}}])");
  SchemaNodePtr tree = schema_nodes_from_list(list.get(), "Device.");
  EXPECT_EQ(tree->attributes.type, k::kTypeObject);
  EXPECT_TRUE(schema_node_at(tree.get(), "IP.Ping")->input->child("Host")->attributes.default_value);
  EXPECT_EQ(tree->children().size(), 2u);  // "Other" is outside the base
  // An instance the tree does not hold is described by the template.
  SchemaNodePtr absolute = schema_nodes_from_list(list.get(), ".");
  EXPECT_EQ(schema_node_describing(absolute.get(), "Device.Hosts.Host.7.HostName")->attributes.base, 16);
  EXPECT_FALSE(schema_node_describing(absolute.get(), "Device.Hosts.Host.x.HostName"));
  EXPECT_FALSE(schema_node_at(absolute.get(), "Device.Hosts.Host.7.HostName"));
}

TEST(Tree, ConfigToNameValuesWalksObjectsAndKeepsOtherValuesWhole) {
  k::Json config = k::json_parse(R"({"IP":{"1":{"Enable":true}},"Empty":{},"order":[3,1],"N":null})");
  // A base without its trailing dot still names an object; the root adds nothing.
  for (const char* base : {"Device.X.", "Device.X", "."}) {
    std::string p = *base == '.' ? "" : "Device.X.";
    k::Json expected = k::json_parse(R"([{"Name":")" + p + R"(IP.1.Enable","Value":true},{"Name":")" +
                                     p + R"(order","Value":[3,1]},{"Name":")" + p + R"(N","Value":null}])");
    EXPECT_TRUE(json_equal(k::tr_config_to_namevalues(config.get(), base).get(), expected.get())) << base;
  }
}

TEST(Tree, InstanceNumbersHaveOneToTwentyDigits) {
  for (auto [text, yes] : {std::pair{"00042", true}, {"12345678901234567890", true}, {"", false},
                           {"123456789012345678901", false}, {"12a", false}, {"-1", false}})
    EXPECT_EQ(k::tr_is_instance_number(text), yes) << text;
}
