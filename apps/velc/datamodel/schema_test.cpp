// The schema cache against a fake veld: which requests fill it in unusual situations (the plain
// walk down is covered end to end).
#include <gtest/gtest.h>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "datamodel/test_support.h"

using namespace testing_support;

static std::string attributes(const std::string& path) { return R"(GetParameterAttributes {"ParameterNames":[")" + path + R"("],"Depth":1})"; }
static std::string names(const std::string& path) { return R"(GetParameterNames {"ParameterPath":")" + path + R"(","NextLevel":true})"; }

TEST(SchemaFetch, TablesRefusalsTemplatesAndOrder) {
  TestClient t{kWithCache};
  for (auto [name, node] : {std::pair{"Broken", R"({"#attr": {"type": "object"}})"},
                            {"Run", R"({"#attr": {"type": "method"}})"},
                            {"Rule", R"({"#attr": {"type": "object", "multi": true, "ordered": true}})"}})
    t.at("Device")->set_child(name, node_from_json(node));
  const std::string host = "Device.Hosts.Host.";
  const std::string instances = R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.1."],"Depth":-1,"IgnoreAccessError":true})";
  FakeVeld veld(t.session, {{attributes(host), R"([{"Name":"Device.Hosts.Host.","Attributes":{"multi":true}},
                              {"Name":"Device.Hosts.Host.#template.X","Attributes":{}}])"},
                            {names(host), R"([{"Name":"Device.Hosts.Host.1."}])"}});
  const struct { const char* path; int result; const char* final_text; Strings requests; } steps[] = {
      // A table is fetched again, with its instances, for a name it lacks; an instance number
      // then takes the template.
      {"Device.Hosts.Host.7.X", 0, "Device.Hosts.Host.7.X", {attributes(host), names(host), instances}},
      // An ordered table's "order" is known without asking, even when veld refused the table.
      {"Device.Rule.order", 0, "Device.Rule.order", {attributes("Device.Rule."), names("Device.Rule.")}},
      // A refused fetch leaves the node empty, and fetched.
      {"Device.Broken.X", -1, "Device.Broken", {attributes("Device.Broken.")}}, {"Device.Broken.X", -1, "Device.Broken", {}},
      {"Device.Run.Status", -1, "Device.Run", {attributes("Device.Run")}},  // a method: no dot
      // A template the cache lacks is asked for into a node of the path's own.
      {"Device.*.X", -1, "Device.#template", {attributes("Device.#template.")}},
  };
  for (const auto& s : steps) {
    cdpath p = t.view.current_path;
    EXPECT_EQ(cdpath_resolve(t.client, p, s.path), s.result) << s.path;
    EXPECT_EQ(p.text, s.final_text) << s.path;
    EXPECT_EQ(veld.take_requests(), s.requests) << s.path;
    if (SchemaNodePtr cached = t.at(s.final_text)) { EXPECT_EQ(p.node, cached) << s.path; }
  }
  SchemaNodePtr broken = t.at("Device.Broken");  // its attributes went with the refusal
  EXPECT_TRUE(broken->fetched && broken->children().empty() && !broken->attributes.all);
  EXPECT_FALSE(t.at("Device.#template"));
}
