// The schema cache against a fake veld: which requests fill it in unusual situations, how
// replies and change events land, and the commands that ask veld about a cached path.
#include <gtest/gtest.h>

#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "entry/events.h"
#include "shell/command_handlers.h"

using testing_support::FakeVeld;
using testing_support::load_schema;
using testing_support::Strings;

namespace {

std::string dump(json_t* v) { return k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY); }
json_t* at(const char* path) { return k::conf_find_branch(schema_root.get(), path); }

std::string attributes(const std::string& path) {
  return R"(GetParameterAttributes {"ParameterNames":[")" + path + R"("],"Depth":1})";
}
std::string names(const std::string& path) {
  return R"(GetParameterNames {"ParameterPath":")" + path + R"(","NextLevel":true})";
}

TEST(IsInstanceNumber, OneToTwentyDigits) {
  for (const char* yes : {"0", "00042", "12345678901234567890"})
    EXPECT_TRUE(is_instance_number(yes)) << yes;
  for (const char* no : {"", "123456789012345678901", "12a", "-1", " 1"})
    EXPECT_FALSE(is_instance_number(no)) << no;
}

TEST(SchemaFetch, ResetFetchesTheTopLevelAndForgetsThePreviousPosition) {
  FakeVeld veld({{attributes("."), R"([{"Name":".","Attributes":{"type":"object"}},
                                       {"Name":"DataModelVersion","Attributes":{"type":"string"}},
                                       {"Name":"Device.","Attributes":{"type":"object"}}])"}});
  previous_path.text = "Old.Position";  // in the cache that is about to go
  json_t* root = schema_reset();
  EXPECT_EQ(root, schema_root.get());
  EXPECT_EQ(veld.take_requests(), Strings{attributes(".")});
  EXPECT_EQ(dump(root),  // DataModelVersion dropped
            R"({"Device":{"#attr":{"type":"object"}},"#attr":{"type":"object"},"#fetched":true})");
  EXPECT_EQ(previous_path.node, root);
  EXPECT_EQ(previous_path.text, "");
  requests_handle().set_destination("/nonexistent/veld.sock");
  EXPECT_EQ(schema_reset(), nullptr);  // veld cannot be asked
}

// What resolution asks veld beyond the plain walk down (covered end to end) on the fixture cache.
TEST(SchemaFetch, TablesRefusalsTemplatesAndOrder) {
  load_schema();
  json_object_set_new(at("Device"), "Broken", json_pack("{s:{s:s}}", "#attr", "type", "object"));
  json_object_set_new(at("Device"), "Rule", json_pack("{s:{s:s, s:b, s:b}}", "#attr", "type",
                                                      "object", "multi", 1, "ordered", 1));
  const std::string host = "Device.Hosts.Host.";
  const std::string instances = R"(GetParameterAttributes {"ParameterNames":)"
                                R"(["Device.Hosts.Host.1."],"Depth":-1,"IgnoreAccessError":true})";
  FakeVeld veld(
      {{attributes(host), R"([{"Name":"Device.Hosts.Host.","Attributes":{"multi":true}},
                              {"Name":"Device.Hosts.Host.#template.","Attributes":{}},
                              {"Name":"Device.Hosts.Host.#template.X","Attributes":{}}])"},
       {names(host), R"([{"Name":"Device.Hosts.Host.1."}])"}});
  struct {
    const char* path;
    int result;
    const char* final_text;
    Strings requests;
    const char* node_at = nullptr;  // where the node is in the cache, when not at final_text
  } steps[] = {
      // A table is fetched again, with its instances, for a name it lacks; an instance number
      // then takes the template.
      {"Device.Hosts.Host.7.X", 0, "Device.Hosts.Host.7.X",
       {attributes(host), names(host), instances}, "Device.Hosts.Host.#template.X"},
      {"Device.Hosts.Host.12a", -1, "Device.Hosts.Host",
       {attributes(host), names(host), instances}},
      // An ordered table's "order" is known without asking, even when veld refused the table.
      {"Device.Rule.order", 0, "Device.Rule.order",
       {attributes("Device.Rule."), names("Device.Rule.")}},
      // A refused fetch leaves the node empty, and fetched.
      {"Device.Broken.X", -1, "Device.Broken", {attributes("Device.Broken.")}},
      {"Device.Broken.X", -1, "Device.Broken", {}},
      // A template the cache lacks is asked for into a node of the path's own.
      {"Device.*.X", -1, "Device.#template", {attributes("Device.#template.")}},
  };
  for (const auto& s : steps) {
    CdpathCopy p(current_path);
    EXPECT_EQ(cdpath_resolve(p.path, s.path), s.result) << s.path;
    EXPECT_EQ(p.path.text, s.final_text) << s.path;
    EXPECT_EQ(veld.take_requests(), s.requests) << s.path;
    if (json_t* cached = at(s.node_at ? s.node_at : s.final_text)) {
      EXPECT_EQ(p.path.node, cached) << s.path;
    }
  }
  EXPECT_EQ(dump(at("Device.Broken")), R"({"#fetched":true})");
  EXPECT_FALSE(at("Device.#template"));
}

TEST(SchemaEvents, AddedInstancesAreFetchedInOneRequestAndDeletedOnesDropped) {
  load_schema();
  const std::string fetch =
      R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.3"],"Depth":-1})";
  FakeVeld veld({{fetch, R"([{"Name":"Device.Hosts.Host.3.","Attributes":{"type":"object"}},
                             {"Name":"Device.Hosts.Host.3.X","Attributes":{"type":"string"}}])"}});
  json_t* instance_1 = at("Device.Hosts.Host.1");
  for (const char* event : {
           R"({"Action":"Delete","Path":"Device.Hosts.Host.2.","InstanceNumber":2})",
           R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":1})",  // cached
           R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":3})",
           R"({"Action":"Add","Path":"Device.Nowhere.","InstanceNumber":4})",  // table not cached
           R"({"Action":"Delete","Path":"Device.Nowhere.Table.1.","InstanceNumber":1})",
           R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":"5"})"}) {
    veld.send_change(event);
    ASSERT_EQ(event_receive(), 0);
  }
  schema_apply_events();
  EXPECT_EQ(veld.take_requests(), Strings{fetch});
  EXPECT_FALSE(at("Device.Hosts.Host.2"));
  EXPECT_EQ(at("Device.Hosts.Host.1"), instance_1);
  EXPECT_EQ(dump(at("Device.Hosts.Host.3")),
            R"({"X":{"#attr":{"type":"string"}},"#attr":{"type":"object"},"#fetched":true})");
  EXPECT_FALSE(at("Device.Hosts.Host.5"));
  schema_apply_events();  // the queue was taken
  EXPECT_TRUE(veld.take_requests().empty());
}

TEST(CachedCommands, AskVeldInTheCachesSpelling) {
  load_schema();
  FakeVeld veld({{names("Device.Hosts.Host."),
                  R"([{"Name":"Device.Hosts.Host.1."},{"Name":"Device.Hosts.Host.3."},)"
                  R"({"Name":"Device.Hosts.Host.max_instance"}])"},
                 {attributes("Device.Hosts."),
                  R"([{"Name":"Device.Hosts.Count","Attributes":{"type":"unsignedInt",)"
                  R"("const":true,"minInclusive":0,"maxInclusive":65535}},)"
                  R"({"Name":"Device.Hosts.","Attributes":{"type":"object",)"
                  R"("perms":"rw-rw-rw-"}}])"}});
  using Handler = int (*)(const std::string&, json_t*);
  // The handler, its arguments, its output (null: not checked), the request it sends.
  const std::tuple<Handler, std::vector<const char*>, const char*, std::string> cases[] = {
      // A table's instances are listed by veld (3 is not cached) and drawn as the template.
      {cmd_tree, {"device.hosts.host"},
       "Device.Hosts.Host\n├── 1\n│   ├── Flags\n│   └── HostName\n├── 3\n│   ├── Flags\n"
       "│   └── HostName\n└── max_instance\n",
       names("Device.Hosts.Host.")},
      {cmd_cat, {"Device.Hosts.Host.*.Flags"}, nullptr,
       R"(GetParameterValues {"ParameterNames":["Device.Hosts.Host.#template.Flags"],)"
       R"("IgnoreAccessError":true})"},
      // Objects first; columns as wide as their longest field.
      {cmd_ls, {"-l", "device.hosts."},
       "Type                  Access  Perms      Flags  Name\n"
       "object                RW      rw-rw-rw-  O      .\n"
       "unsignedInt[0:65535]  RO                 -      Count\n",
       attributes("Device.Hosts.")},
  };
  for (const auto& [handler, words, output, request] : cases) {
    k::Json a = testing_support::args(words);
    std::string out = testing_support::output_of([&] { handler("x", a.get()); });
    EXPECT_EQ(out, output ? output : out);
    EXPECT_EQ(veld.take_requests(), Strings{request}) << words.back();
  }
}

}  // namespace
