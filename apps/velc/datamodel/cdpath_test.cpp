// Node paths, and typed paths resolved against the fixture cache (no requests).
#include "datamodel/cdpath.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "datamodel/test_support.h"

using testing_support::load_schema;
using testing_support::output_of;

namespace {

json_t* at(const char* path) { return k::conf_find_branch(schema_root.get(), path); }

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
  const std::pair<const char*, const char*> cases[] = {
      {"-foo", "Device.DeviceInfo"}, {"Hosts.-.ModelName", "Device.DeviceInfo.ModelName"}};
  for (const auto& [text, final_text] : cases) {
    load_schema();
    ASSERT_EQ(cdpath_resolve(previous_path, "Device.DeviceInfo"), 0);
    previous_path.in_method = true;
    CdpathCopy p(current_path);
    ASSERT_EQ(cdpath_resolve(p.path, "Device"), 0);
    int result = 1;
    EXPECT_EQ(output_of([&] { result = cdpath_resolve(p.path, text); }), ":Device.DeviceInfo\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(p.path.text, final_text);
    EXPECT_TRUE(p.path.in_method);
  }
  output_of([] { EXPECT_EQ(cdpath_resolve(previous_path, "-.Manufacturer"), 0); });  // onto itself
  EXPECT_EQ(previous_path.text, "Device.DeviceInfo.Manufacturer");
}

}  // namespace
