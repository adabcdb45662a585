// Resolution of typed paths on the fixture cache.
#include <gtest/gtest.h>

#include <algorithm>

#include "datamodel/resolve.h"
#include "datamodel/test_support.h"

using namespace testing_support;

TEST(Resolve, AppliesTheElementsUpToTheFirstThatFails) {
  // Start (resolved from the root first), text, result, final text, via the template, and the
  // final text as veld is asked by it (null: not checked): veld refuses a node named in the other
  // spelling, an object with its trailing dot, a parameter and a method without.
  const struct { const char *start, *text; int result; const char* final_text; bool via_template; const char* request = nullptr; } cases[] = {
      {"Device.Hosts", ":Device", 0, "Device", false, "Device."},
      {"", "Device..Hosts.", 0, "Device.Hosts", false, "Device.Hosts."}, {"Device", "<<<<", 0, "", false, "."},
      {"Device.Hosts.Host", "<x", -1, "Device.Hosts", false},
      {"Device.Hosts.Host.1", "<.2.HostName", 0, "Device.Hosts.Host.2.HostName", false, "Device.Hosts.Host.2.HostName"},
      {"Device.Hosts", "Host.max_instance", 0, "Device.Hosts.Host.max_instance", false, "Device.Hosts.Host.max_instance"},
      {"", "device.HOSTS.host.1.hostname", 0, "Device.Hosts.Host.1.HostName", false},
      {"Device", "DeviceInfo.Nonexistent", -1, "Device.DeviceInfo", false},
      {"Device", "Hosts.Host.*.HostName", 0, "Device.Hosts.Host.#template.HostName", true},
      {"Device", "Hosts.Host.*x", -1, "Device.Hosts.Host", false},
      {"Device.Hosts.Host", "#template", -1, "Device.Hosts.Host", false},
      {"Device.IP.Ping", "#input", -1, "Device.IP.Ping", false, "Device.IP.Ping"},  // only in method context
      // Without a template "*" gives the path an empty node of its own, and it can step back.
      {"Device", "*.<.DeviceInfo", 0, "Device.DeviceInfo", true},
      {"Device.Hosts.Host.*", "<.1", 0, "Device.Hosts.Host.1", false, "Device.Hosts.Host.1."},  // this resolution's only
  };
  for (const auto& [start, text, result, final_text, via_template, request] : cases) {
    TestClient t{kWithCache};
    cdpath p = t.view.current_path;
    ASSERT_EQ(cdpath_resolve(t.client, p, start), 0);
    EXPECT_EQ(cdpath_resolve(t.client, p, text), result) << text;
    EXPECT_EQ(p.text, final_text) << text;
    EXPECT_EQ(p.via_template, via_template) << text;
    if (request) { EXPECT_EQ(cdpath_request_text(p), request) << text; }
    EXPECT_EQ(p.node, t.at(final_text)) << text;
    EXPECT_FALSE(t.at("Device.#template")) << text;
    size_t dots = std::count(p.text.begin(), p.text.end(), '.');
    EXPECT_EQ(p.parents.size(), p.text.empty() ? 0 : dots + 1) << text;
  }
}

// "#input" only in a method's context; "-" (the rest of its element ignored, even mid-path)
// echoes and goes to the previous position.
TEST(Resolve, InputInMethodContextAndMinus) {
  TestClient t{kWithCache};
  cdpath p = t.view.current_path;
  ASSERT_EQ(cdpath_resolve(t.client, p, "Device.IP.Ping"), 0);
  p.in_method = true;
  EXPECT_EQ(cdpath_resolve(t.client, p, "#input.host"), 0);
  EXPECT_EQ(p.text, "Device.IP.Ping.#input.Host");
  EXPECT_EQ(cdpath_resolve(t.client, p, "<<.#Input"), -1);  // exactly "#input"
  ASSERT_EQ(cdpath_resolve(t.client, t.view.previous_path, "Device.DeviceInfo"), 0);
  t.view.previous_path.in_method = true;
  p = t.view.current_path;
  int result = 1;
  EXPECT_EQ(output_of([&] { result = cdpath_resolve(t.client, p, "Device.-foo.<.Hosts.-.ModelName"); }),
            ":Device.DeviceInfo\n:Device.DeviceInfo\n");
  EXPECT_TRUE(result == 0 && p.text == "Device.DeviceInfo.ModelName" && p.in_method);
  EXPECT_EQ(cdpath_resolve(t.client, p, nullptr), -2);
}
