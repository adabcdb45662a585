#include "datamodel/cdpath.h"

#include <gtest/gtest.h>

#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "platform/tr.h"
#include "shell/command_handlers.h"

using testing_support::load_schema;
using testing_support::output_of;

namespace {

json_t* at(const char* path) { return k::conf_find_branch(schema_root.get(), path); }

class CdpathTest : public testing::Test {
 protected:
  void SetUp() override { load_schema(); }
};

TEST_F(CdpathTest, PushBuildsTextWithoutLeadingDot) {
  cdpath p;
  cdpath_new(p);
  EXPECT_EQ(cdpath_push(p, at("Device"), "Device", false, false), 0);
  EXPECT_EQ(p.text, "Device");
  EXPECT_EQ(cdpath_push(p, at("Device.DeviceInfo"), "DeviceInfo", false, false), 0);
  EXPECT_EQ(p.text, "Device.DeviceInfo");
  EXPECT_EQ(p.node, at("Device.DeviceInfo"));
  EXPECT_EQ(json_array_get(p.parents.get(), 0), at("Device"));
  EXPECT_EQ(json_array_get(p.parents.get(), 1), schema_root.get());
  cdpath_free(p);
}

TEST_F(CdpathTest, PopTakesNodeAndFlagsFromParent) {
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, "Device.Hosts.Host.1"), 0);
  EXPECT_FALSE(p.is_multi);
  EXPECT_EQ(cdpath_pop(p), 0);
  EXPECT_EQ(p.text, "Device.Hosts.Host");
  EXPECT_EQ(p.node, at("Device.Hosts.Host"));
  EXPECT_TRUE(p.is_multi);
  EXPECT_EQ(json_array_size(p.parents.get()), 3u);
  cdpath_free(p);
}

TEST_F(CdpathTest, PopAtRootStaysAtRoot) {
  cdpath p;
  cdpath_new(p);
  EXPECT_EQ(cdpath_pop(p), 0);
  EXPECT_EQ(p.text, "");
  EXPECT_EQ(p.node, schema_root.get());
  EXPECT_EQ(json_array_size(p.parents.get()), 0u);
  cdpath_free(p);
}

TEST_F(CdpathTest, PushThatWouldExceedTheTextLimitIsRefused) {
  cdpath p;
  cdpath_new(p);
  std::string name(kPathTextMax, 'a');
  EXPECT_EQ(cdpath_push(p, at("Device"), name, false, false), 0);  // exactly fits
  EXPECT_EQ(cdpath_push(p, at("Device"), "b", false, false), -1);
  EXPECT_EQ(p.text, name);
  EXPECT_EQ(json_array_size(p.parents.get()), 1u);
  cdpath_free(p);
}

TEST_F(CdpathTest, CopyIsShallowClearsViaTemplateAndKeepsInMethod) {
  cdpath src;
  cdpath_new(src);
  ASSERT_EQ(cdpath_resolve(src, "Device.Hosts"), 0);
  src.via_template = true;
  src.in_method = true;
  cdpath copy;
  cdpath_copy(copy, src);
  EXPECT_FALSE(copy.via_template);
  EXPECT_TRUE(copy.in_method);
  EXPECT_EQ(copy.text, "Device.Hosts");
  EXPECT_EQ(copy.node, src.node);
  EXPECT_NE(copy.parents.get(), src.parents.get());
  // Moving the copy leaves the source where it was.
  cdpath_push(copy, at("Device.Hosts.Host"), "Host", true, false);
  EXPECT_EQ(src.text, "Device.Hosts");
  EXPECT_EQ(json_array_size(src.parents.get()), 2u);
  cdpath_free(copy);
  cdpath_free(src);
}

TEST_F(CdpathTest, CopyOntoItselfKeepsThePath) {
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, "Device.DeviceInfo"), 0);
  cdpath_copy(p, p);
  EXPECT_EQ(p.text, "Device.DeviceInfo");
  EXPECT_EQ(json_array_size(p.parents.get()), 2u);
  cdpath_free(p);
}

TEST_F(CdpathTest, ClearKeepsViaTemplate) {
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, "Device.Hosts.Host.*"), 0);
  p.in_method = true;
  cdpath_clear(p);
  EXPECT_TRUE(p.via_template);
  EXPECT_FALSE(p.in_method || p.is_multi || p.is_ordered);
  EXPECT_EQ(p.text, "");
  EXPECT_EQ(p.node, schema_root.get());
  EXPECT_EQ(json_array_size(p.parents.get()), 0u);
  cdpath_free(p);
}

TEST_F(CdpathTest, FreeingARecordThatWasNeverInitialisedIsHarmless) {
  cdpath p;
  cdpath_free(p);
  cdpath_free(p);
  cdpath copy;
  cdpath_copy(copy, p);  // copies as the root
  EXPECT_EQ(copy.node, schema_root.get());
  cdpath_free(copy);
}

TEST_F(CdpathTest, NodeOutlivesItsRemovalFromTheCache) {
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_resolve(p, "Device.Hosts.Host.2"), 0);
  json_object_del(at("Device.Hosts.Host"), "2");  // a refetch or delete event drops it
  EXPECT_STREQ(json_string_value(json_object_get(json_object_get(p.node, "#attr"), "type")),
               "object");
  cdpath_free(p);
}

TEST_F(CdpathTest, PwdPrintsTheTextAfterAColon) {
  EXPECT_EQ(output_of([] { cmd_pwd("pwd", nullptr); }), ":\n");
  ASSERT_EQ(cdpath_resolve(current_path, "Device.DeviceInfo"), 0);
  EXPECT_EQ(output_of([] { cmd_pwd("pwd", nullptr); }), ":Device.DeviceInfo\n");
}

}  // namespace
