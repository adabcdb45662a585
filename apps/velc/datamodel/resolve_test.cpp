// Resolution of typed paths on the fixture cache.
#include <gtest/gtest.h>

#include <algorithm>

#include "datamodel/resolve.h"
#include "datamodel/test_support.h"

using testing_support::TestClient;

namespace {

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
      {"Device.Hosts.Host.*", "<.1", 0, "Device.Hosts.Host.1", false},  // this resolution's only
  };
  for (const auto& [start, text, result, final_text, via_template] : cases) {
    TestClient t;
  t.load_schema();
    cdpath p = t.view.current_path;
    ASSERT_EQ(cdpath_resolve(t.client, p, start), 0);
    EXPECT_EQ(cdpath_resolve(t.client, p, text), result) << text;
    EXPECT_EQ(p.text, final_text) << text;
    EXPECT_EQ(p.via_template, via_template) << text;
    SchemaNodePtr cached = t.at(final_text);
    ASSERT_NE(p.node, nullptr) << text;
    EXPECT_TRUE(cached ? p.node == cached : p.node->children().empty()) << text;
    EXPECT_FALSE(t.at("Device.#template")) << text;
    size_t dots = std::count(p.text.begin(), p.text.end(), '.');
    EXPECT_EQ(p.parents.size(), p.text.empty() ? 0 : dots + 1) << text;
  }
  TestClient t;
  t.load_schema();
  cdpath p = t.view.current_path;
  EXPECT_EQ(cdpath_resolve(t.client, p, nullptr), -2);
}

TEST(Resolve, InputOnlyInMethodContext) {
  TestClient t;
  t.load_schema();
  cdpath p = t.view.current_path;
  ASSERT_EQ(cdpath_resolve(t.client, p, "Device.IP.Ping"), 0);
  p.in_method = true;
  EXPECT_EQ(cdpath_resolve(t.client, p, "#input.host"), 0);
  EXPECT_EQ(p.text, "Device.IP.Ping.#input.Host");
  cdpath_pop(p);
  EXPECT_EQ(cdpath_request_text(p), "Device.IP.Ping.#input.");  // the arguments are an object
  EXPECT_EQ(cdpath_resolve(t.client, p, "<.#Input"), -1);  // exactly "#input"
}

TEST(Resolve, MinusEchoesAndReturnsToThePreviousPosition) {
  TestClient t;
  t.load_schema();
  ASSERT_EQ(cdpath_resolve(t.client, t.view.previous_path, "Device.DeviceInfo"), 0);
  t.view.previous_path.in_method = true;
  cdpath p = t.view.current_path;
  int result = 1;  // the rest of the element after "-" is ignored; "-" may come mid-path
  EXPECT_EQ(output_of([&] {
              result = cdpath_resolve(t.client, p, "Device.-foo.<.Hosts.-.ModelName");
            }),
            ":Device.DeviceInfo\n:Device.DeviceInfo\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(p.text, "Device.DeviceInfo.ModelName");
  EXPECT_TRUE(p.in_method);
  output_of([&] {  // onto itself
    EXPECT_EQ(cdpath_resolve(t.client, t.view.previous_path, "-.Manufacturer"), 0);
  });
  EXPECT_EQ(t.view.previous_path.text, "Device.DeviceInfo.Manufacturer");
}

}  // namespace
