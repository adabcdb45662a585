// The node path: push, pop, copy and clear on the fixture cache.
#include <gtest/gtest.h>

#include "datamodel/cdpath.h"
#include "datamodel/resolve.h"
#include "datamodel/test_support.h"

using namespace testing_support;

TEST(Cdpath, PushPopCopyAndClearKeepThePathConsistent) {
  TestClient t{kWithCache};
  cdpath p = t.view.current_path;
  ASSERT_EQ(cdpath_resolve(t.client, p, "Device.Hosts.Host.1"), 0);
  cdpath_pop(p);
  EXPECT_TRUE(p.is_multi);  // taken from the node stepped back to
  cdpath copy = p;
  cdpath_push(copy, t.at("Device.Hosts.Host.2"), "2");
  EXPECT_TRUE(p.text == "Device.Hosts.Host" && p.parents.size() == 3);  // the source stays
  t.at("Device.Hosts.Host")->remove_child("2");  // a refetch or a delete event drops it
  EXPECT_EQ(copy.node->attributes.type, k::kTypeObject);
  p.via_template = p.in_method = true;
  cdpath_clear(p, t.view.schema_root);
  EXPECT_TRUE(p.via_template && !p.in_method && !p.is_multi);
  // "Device." and 248 bytes make the longest text; one more byte is refused, changing nothing.
  ASSERT_EQ(cdpath_push(p, t.at("Device"), "Device"), 0);
  EXPECT_EQ(cdpath_push(p, t.at("Device"), std::string(248, 'a')), 0);
  EXPECT_EQ(p.text.size(), kPathTextMax);
  cdpath_pop(p);
  EXPECT_EQ(cdpath_push(p, t.at("Device"), std::string(249, 'a')), -1);
  EXPECT_TRUE(p.text == "Device" && p.parents.size() == 1);
}
