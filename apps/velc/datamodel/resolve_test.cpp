#include <gtest/gtest.h>

#include "datamodel/cdpath.h"
#include "datamodel/test_support.h"
#include "platform/tr.h"

using testing_support::load_schema;
using testing_support::output_of;

namespace {

struct ResolveCase {
  const char* start;  // resolved from the root first
  const char* text;
  int result;
  const char* final_text;
  bool via_template;
};

class ResolveTest : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTest, AppliesTheElements) {
  const ResolveCase& c = GetParam();
  load_schema();
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, c.start), 0);
  EXPECT_EQ(cdpath_resolve(p, c.text), c.result);
  EXPECT_EQ(p.text, c.final_text);
  EXPECT_EQ(p.via_template, c.via_template);
  EXPECT_EQ(json_array_size(p.parents.get()),
            p.text.empty() ? 0u : 1u + std::count(p.text.begin(), p.text.end(), '.'));
  cdpath_free(p);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ResolveTest,
    testing::Values(
        ResolveCase{"", ":", 0, "", false},
        ResolveCase{"Device.Hosts", ":", 0, "", false},
        ResolveCase{"Device.Hosts", "", 0, "Device.Hosts", false},
        ResolveCase{"Device.Hosts", ".", 0, "Device.Hosts", false},
        ResolveCase{"Device.Hosts", ":Device", 0, "Device", false},
        ResolveCase{"", "Device..Hosts.", 0, "Device.Hosts", false},
        ResolveCase{"Device", ".Hosts", 0, "Device.Hosts", false},
        ResolveCase{"Device.Hosts.Host", "<<", 0, "Device", false},
        ResolveCase{"Device.Hosts.Host", "<.<", 0, "Device", false},
        ResolveCase{"", "<", 0, "", false},
        ResolveCase{"Device", "<<<<", 0, "", false},
        ResolveCase{"Device.Hosts.Host", "<x", -1, "Device.Hosts", false},
        ResolveCase{"Device.Hosts.Host.1", "<.2.HostName", 0, "Device.Hosts.Host.2.HostName",
                    false},
        // Names take the cache's spelling once the parent is known.
        ResolveCase{"", "device.HOSTS.host.1.hostname", 0, "Device.Hosts.Host.1.HostName",
                    false},
        ResolveCase{"Device", "Nonexistent", -1, "Device", false},
        ResolveCase{"Device", "DeviceInfo.Nonexistent", -1, "Device.DeviceInfo", false},
        ResolveCase{"", "Dev:ice", -1, "", false},
        // The template.
        ResolveCase{"Device", "Hosts.Host.*.HostName", 0, "Device.Hosts.Host.#template.HostName",
                    true},
        ResolveCase{"Device", "Hosts.Host.*x", -1, "Device.Hosts.Host", false},
        ResolveCase{"Device", "Hosts.Host.**", -1, "Device.Hosts.Host", false},
        ResolveCase{"Device.Hosts.Host", "#template", -1, "Device.Hosts.Host", false},
        ResolveCase{"Device.IP.Ping", "#input", -1, "Device.IP.Ping", false},
        // An ordered table's "order" is known without a request.
        ResolveCase{"Device.Firewall.Rule", "order", 0, "Device.Firewall.Rule.order", false}));

TEST(Resolve, NoTextLeavesTheRecordUnchanged) {
  load_schema();
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, "Device"), 0);
  EXPECT_EQ(cdpath_resolve(p, nullptr), -2);
  EXPECT_EQ(p.text, "Device");
  cdpath_free(p);
}

TEST(Resolve, InputIsReachableOnlyInMethodContext) {
  load_schema();
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, "Device.IP.Ping"), 0);
  p.in_method = true;
  EXPECT_EQ(cdpath_resolve(p, "#input.host"), 0);
  EXPECT_EQ(p.text, "Device.IP.Ping.#input.Host");
  EXPECT_EQ(cdpath_resolve(p, "<.#Input"), -1);  // exactly "#input"
  cdpath_free(p);
}

TEST(Resolve, MinusEchoesAndReturnsToThePreviousPosition) {
  struct {
    const char* text;
    const char* final_text;
  } cases[] = {{"-", "Device.DeviceInfo"},
               {"-foo", "Device.DeviceInfo"},
               {"-.ModelName", "Device.DeviceInfo.ModelName"},
               {"Hosts.-", "Device.DeviceInfo"}};
  for (const auto& c : cases) {
    load_schema();
    ASSERT_EQ(cdpath_resolve(previous_path, "Device.DeviceInfo"), 0);
    previous_path.in_method = true;
    cdpath p;
    cdpath_new(p);
    ASSERT_EQ(cdpath_resolve(p, "Device"), 0);
    int result = 0;
    EXPECT_EQ(output_of([&] { result = cdpath_resolve(p, c.text); }), ":Device.DeviceInfo\n")
        << c.text;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(p.text, c.final_text);
    EXPECT_TRUE(p.in_method);
    cdpath_free(p);
  }
}

TEST(Resolve, MinusOnThePreviousPathItself) {
  load_schema();
  ASSERT_EQ(cdpath_resolve(previous_path, "Device.Hosts"), 0);
  output_of([] { EXPECT_EQ(cdpath_resolve(previous_path, "-.Host"), 0); });
  EXPECT_EQ(previous_path.text, "Device.Hosts.Host");
}

TEST(Resolve, StarOnAnObjectWithoutTemplateGivesAnEmptyNodeOfItsOwn) {
  load_schema();
  cdpath p;
  cdpath_new(p);
  EXPECT_EQ(cdpath_resolve(p, "Device.*"), 0);
  EXPECT_EQ(p.text, "Device.#template");
  ASSERT_NE(p.node, nullptr);  // still a position with a cache
  EXPECT_EQ(json_object_size(p.node), 0u);
  EXPECT_FALSE(json_object_get(k::conf_find_branch(schema_root.get(), "Device"), "#template"));
  EXPECT_EQ(cdpath_resolve(p, "<.DeviceInfo"), 0);  // steps back out safely
  EXPECT_EQ(p.text, "Device.DeviceInfo");
  cdpath_free(p);
}

TEST(Resolve, PathTextLongerThanTheLimitFails) {
  std::string a(200, 'a'), b(54, 'b'), c(55, 'c');
  std::string schema = R"({"#fetched": true, ")" + a + R"(": {"#fetched": true, ")" + b +
                       R"(": {"#fetched": true}, ")" + c + R"(": {"#fetched": true}}})";
  load_schema(schema.c_str());
  cdpath p;
  cdpath_new(p);
  EXPECT_EQ(cdpath_resolve(p, (a + "." + b).c_str()), 0);  // 255 bytes
  EXPECT_EQ(p.text.size(), 255u);
  EXPECT_EQ(cdpath_resolve(p, ("<." + c).c_str()), -1);    // 256 bytes
  EXPECT_EQ(p.text, a);
  cdpath_free(p);
}

}  // namespace
