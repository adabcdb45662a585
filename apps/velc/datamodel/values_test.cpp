// Reading values: the request text, and the aligned lines and the values tree built from a reply.
// (cat, catree and tree are covered end to end.)
#include <gtest/gtest.h>

#include "datamodel/test_support.h"
#include "datamodel/values.h"

using namespace testing_support;

TEST(ValuesRequestText, NamesParametersAndObjects) {
  TestClient t{kWithCache};
  SchemaNodePtr order = node_from_json(R"({"#fetched": true})");  // an object
  const std::tuple<SchemaNodePtr, const char*, bool, const char*> cases[] = {  // node, text, cached
      {t.at(""), "", true, "."}, {nullptr, "", false, "As.Typed"},  // no cache: as typed
      // A table's pseudo-parameters, whatever the cache holds for them.
      {order, "Device.Firewall.Rule.order", true, "Device.Firewall.Rule.order"},
      {nullptr, "Device.Hosts.Host.max_instance", true, "Device.Hosts.Host.max_instance"},
      {order, "Device.X.max_instance_x", true, "Device.X.max_instance_x."},
      {nullptr, "Device.Other.#template", true, "Device.Other.#template."},  // unknown template
  };
  for (const auto& [node, text, cached, request] : cases) {
    cdpath p;
    p.node = node;
    p.text = text;
    EXPECT_EQ(values_request_text(p, "As.Typed", cached), request) << text;
  }
}

// Through a template, names are relative to the part before "#", the base from the template;
// the root's "." cuts nothing; a name that is the request's shows its last element; entries
// may lack name or value. The tree skips names outside the request.
TEST(ValuesPrint, AlignsNamesRelativeToTheRequestAndBuildsTheTree) {
  TestClient t{kWithCache};
  const std::tuple<const char*, const char*, const char*> lines[] = {  // request, list, text
      {"Device.Hosts.Host.#template.Flags", R"([{"Name":"Device.Hosts.Host.1.Flags","Value":255},
           {"Name":"Device.Hosts.Host.12.Flags","Value":10}])", "1.Flags  = 0xff\n12.Flags = 0xa\n"},
      {".", R"([{"Name":"Device.Time.Mask","Value":5},{"Name":"Device.Time.Mode","Value":8}])",
       "Device.Time.Mask = 0b101\nDevice.Time.Mode = 010\n"},
      {"Device.Time.Mask", R"([{"Name":"Device.Time.Mask"},{"Value":1}])", "Mask = \nMask = 1\n"},
  };
  for (const auto& [request, list, text] : lines) {
    k::Json parsed = k::json_parse(list);
    EXPECT_EQ(output_of([&] { values_print(t.client, parsed.get(), request); }), text) << request;
  }
  const std::tuple<const char*, const char*, const char*> trees[] = {  // request, list, tree
      {"Device.Hosts.", R"([{"Name":"Device.Hosts.Host.max_instance","Value":12},
           {"Name":"Device.Hosts.Host.12.Flags","Value":10},
           {"Name":"Device.Host","Value":2},{"Name":"Device.Time.Mask","Value":3},{"Value":4}])",
       R"({"name":"Device.Hosts.","content":[{"name":"Host","multi":true,"content":[
            {"name":"max_instance","base":0,"value":12},{"name":"12","content":[{"name":"Flags","base":16,"value":10}]}]}]})"},
      {"Device.Hosts.Host.#template.", R"([{"Name":"Device.Hosts.Host.1.Flags","Value":1}])",
       R"({"name":"Device.Hosts.Host.","content":[{"name":"1","content":[{"name":"Flags","base":16,"value":1}]}]})"},
  };
  for (const auto& [request, list, tree] : trees) {
    k::Json built = values_tree_build(t.view.schema_root.get(), k::json_parse(list).get(), request);
    EXPECT_TRUE(json_equal(built.get(), k::json_parse(tree).get()))
        << request << "\n" << k::json_dump(built.get(), JSON_INDENT(2));
  }
}
