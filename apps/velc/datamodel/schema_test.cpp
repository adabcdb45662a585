// Node paths and resolution on the fixture cache, then the cache against a fake veld: which
// requests fill it in unusual situations, and how replies and change events land.
#include <gtest/gtest.h>

#include <algorithm>

#include "datamodel/cdpath.h"
#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "entry/events.h"

using testing_support::FakeVeld;
using testing_support::load_schema;
using testing_support::output_of;
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

TEST(Cdpath, PushPopCopyClearAndFreeKeepTheRecordConsistent) {
  load_schema();
  cdpath p;
  cdpath_copy(p, p);  // never initialised: copies as the root
  EXPECT_EQ(p.node, schema_root.get());
  ASSERT_EQ(cdpath_resolve(p, "Device.Hosts.Host.1"), 0);
  cdpath_pop(p);
  EXPECT_TRUE(p.is_multi);  // taken from the node stepped back to

  p.via_template = p.in_method = true;
  cdpath copy;
  copy.via_template = true;  // a copy starts without it, whatever the record held
  cdpath_copy(copy, p);
  EXPECT_FALSE(copy.via_template);
  EXPECT_TRUE(copy.in_method);
  cdpath_push(copy, at("Device.Hosts.Host.2"), "2", false, false);
  EXPECT_EQ(p.text, "Device.Hosts.Host");  // the source does not move with its copy
  EXPECT_EQ(json_array_size(p.parents.get()), 3u);
  cdpath_copy(copy, copy);
  EXPECT_EQ(copy.text, "Device.Hosts.Host.2");
  json_object_del(at("Device.Hosts.Host"), "2");  // a refetch or a delete event drops it
  EXPECT_EQ(k::tr_node_type(copy.node), k::tr_type_code("object"));

  cdpath_clear(p);
  EXPECT_TRUE(p.via_template);
  EXPECT_FALSE(p.in_method || p.is_multi);

  // "Device." and 248 bytes make the longest text; one more byte is refused, changing nothing.
  ASSERT_EQ(cdpath_push(p, at("Device"), "Device", false, false), 0);
  EXPECT_EQ(cdpath_push(p, at("Device"), std::string(248, 'a'), false, false), 0);
  EXPECT_EQ(p.text.size(), kPathTextMax);
  cdpath_pop(p);
  EXPECT_EQ(cdpath_push(p, at("Device"), std::string(249, 'a'), false, false), -1);
  EXPECT_EQ(p.text, "Device");
  EXPECT_EQ(json_array_size(p.parents.get()), 1u);
  cdpath_free(p);
  cdpath_free(p);
  cdpath_free(copy);
}

TEST(Resolve, AppliesTheElementsUpToTheFirstThatFails) {
  // Start (resolved from the root first), text, result, final text, via the template.
  const std::tuple<const char*, const char*, int, const char*, bool> cases[] = {
      {"Device.Hosts", ":", 0, "", false},
      {"Device.Hosts", "", 0, "Device.Hosts", false},
      {"Device.Hosts", ":Device", 0, "Device", false},
      {"", "Device..Hosts.", 0, "Device.Hosts", false},
      {"Device.Hosts.Host", "<<", 0, "Device", false},
      {"Device", "<<<<", 0, "", false},
      {"Device.Hosts.Host", "<x", -1, "Device.Hosts", false},
      {"Device.Hosts.Host.1", "<.2.HostName", 0, "Device.Hosts.Host.2.HostName", false},
      {"", "device.HOSTS.host.1.hostname", 0, "Device.Hosts.Host.1.HostName", false},
      {"Device", "DeviceInfo.Nonexistent", -1, "Device.DeviceInfo", false},
      {"Device", "Hosts.Host.*.HostName", 0, "Device.Hosts.Host.#template.HostName", true},
      {"Device", "Hosts.Host.*x", -1, "Device.Hosts.Host", false},
      {"Device.Hosts.Host", "#template", -1, "Device.Hosts.Host", false},
      {"Device.IP.Ping", "#input", -1, "Device.IP.Ping", false},  // only in method context
      // Without a template "*" gives the path an empty node of its own, and it can step back.
      {"Device", "*", 0, "Device.#template", true},
      {"Device", "*.<.DeviceInfo", 0, "Device.DeviceInfo", true},
  };
  for (const auto& [start, text, result, final_text, via_template] : cases) {
    load_schema();
    CdpathCopy p(current_path);
    ASSERT_EQ(cdpath_resolve(p.path, start), 0);
    EXPECT_EQ(cdpath_resolve(p.path, text), result) << text;
    EXPECT_EQ(p.path.text, final_text) << text;
    EXPECT_EQ(p.path.via_template, via_template) << text;
    json_t* cached = at(final_text);
    ASSERT_NE(p.path.node, nullptr) << text;
    EXPECT_TRUE(cached ? p.path.node == cached : json_object_size(p.path.node) == 0) << text;
    EXPECT_FALSE(at("Device.#template")) << text;
    size_t dots = std::count(p.path.text.begin(), p.path.text.end(), '.');
    EXPECT_EQ(json_array_size(p.path.parents.get()), p.path.text.empty() ? 0 : dots + 1) << text;
  }
  CdpathCopy p(current_path);
  EXPECT_EQ(cdpath_resolve(p.path, nullptr), -2);
}

TEST(Resolve, InputOnlyInMethodContext) {
  load_schema();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.IP.Ping"), 0);
  p.path.in_method = true;
  EXPECT_EQ(cdpath_resolve(p.path, "#input.host"), 0);
  EXPECT_EQ(p.path.text, "Device.IP.Ping.#input.Host");
  EXPECT_EQ(cdpath_resolve(p.path, "<.#Input"), -1);  // exactly "#input"
}

TEST(Resolve, MinusEchoesAndReturnsToThePreviousPosition) {
  load_schema();
  ASSERT_EQ(cdpath_resolve(previous_path, "Device.DeviceInfo"), 0);
  previous_path.in_method = true;
  CdpathCopy p(current_path);
  int result = 1;  // the rest of the element after "-" is ignored; "-" may come mid-path
  EXPECT_EQ(output_of([&] { result = cdpath_resolve(p.path, "Device.-foo.<.Hosts.-.ModelName"); }),
            ":Device.DeviceInfo\n:Device.DeviceInfo\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(p.path.text, "Device.DeviceInfo.ModelName");
  EXPECT_TRUE(p.path.in_method);
  output_of([] { EXPECT_EQ(cdpath_resolve(previous_path, "-.Manufacturer"), 0); });  // onto itself
  EXPECT_EQ(previous_path.text, "Device.DeviceInfo.Manufacturer");
}

TEST(IsInstanceNumber, OneToTwentyDigits) {
  const std::pair<const char*, bool> cases[] = {
      {"0", true}, {"00042", true}, {"12345678901234567890", true}, {"", false},
      {"123456789012345678901", false}, {"12a", false}, {"-1", false}};
  for (const auto& [text, yes] : cases) EXPECT_EQ(is_instance_number(text), yes) << text;
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

}  // namespace
