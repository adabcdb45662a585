// The node path record: push, pop, copy, clear and free on the fixture cache.
#include <gtest/gtest.h>

#include "datamodel/cdpath.h"
#include "datamodel/resolve.h"
#include "datamodel/test_support.h"

using testing_support::TestClient;

namespace {

TEST(Cdpath, PushPopCopyClearAndFreeKeepTheRecordConsistent) {
  TestClient t;
  t.load_schema();
  cdpath p;
  cdpath_copy(p, p);  // never initialised: copies without a node, as in request mode
  EXPECT_EQ(p.node, nullptr);
  cdpath_new(p, t.view.schema_root.get());
  ASSERT_EQ(cdpath_resolve(t.client, p, "Device.Hosts.Host.1"), 0);
  cdpath_pop(p);
  EXPECT_TRUE(p.is_multi);  // taken from the node stepped back to

  p.via_template = p.in_method = true;
  cdpath copy;
  copy.via_template = true;  // a copy starts without it, whatever the record held
  cdpath_copy(copy, p);
  EXPECT_FALSE(copy.via_template);
  EXPECT_TRUE(copy.in_method);
  cdpath_push(copy, t.at("Device.Hosts.Host.2"), "2", false, false);
  EXPECT_EQ(p.text, "Device.Hosts.Host");  // the source does not move with its copy
  EXPECT_EQ(json_array_size(p.parents.get()), 3u);
  cdpath_copy(copy, copy);
  EXPECT_EQ(copy.text, "Device.Hosts.Host.2");
  json_object_del(t.at("Device.Hosts.Host"), "2");  // a refetch or a delete event drops it
  EXPECT_EQ(k::tr_node_type(copy.node), k::tr_type_code("object"));

  cdpath_clear(p, t.view.schema_root.get());
  EXPECT_TRUE(p.via_template);
  EXPECT_FALSE(p.in_method || p.is_multi);

  // "Device." and 248 bytes make the longest text; one more byte is refused, changing nothing.
  ASSERT_EQ(cdpath_push(p, t.at("Device"), "Device", false, false), 0);
  EXPECT_EQ(cdpath_push(p, t.at("Device"), std::string(248, 'a'), false, false), 0);
  EXPECT_EQ(p.text.size(), kPathTextMax);
  cdpath_pop(p);
  EXPECT_EQ(cdpath_push(p, t.at("Device"), std::string(249, 'a'), false, false), -1);
  EXPECT_EQ(p.text, "Device");
  EXPECT_EQ(json_array_size(p.parents.get()), 1u);
  cdpath_free(p);
  cdpath_free(p);
  cdpath_free(copy);
}

// veld refuses a node named in the other spelling: an object with its trailing dot, a parameter
// and a method without.
TEST(CdpathRequestText, SpellsEachKindOfNodeAsVeldDoes) {
  TestClient t;
  t.load_schema();
  const std::pair<const char*, const char*> cases[] = {
      {"", "."},
      {"Device.DeviceInfo", "Device.DeviceInfo."},
      {"Device.DeviceInfo.Manufacturer", "Device.DeviceInfo.Manufacturer"},
      {"Device.IP.Ping", "Device.IP.Ping"},
      {"Device.Hosts.Host.2", "Device.Hosts.Host.2."},
      {"Device.Hosts.Host.max_instance", "Device.Hosts.Host.max_instance"},
  };
  for (const auto& [path, request] : cases) {
    CdpathCopy p(t.view.current_path);
    ASSERT_EQ(cdpath_resolve(t.client, p.path, path), 0) << path;
    EXPECT_EQ(cdpath_request_text(p.path), request) << path;
  }
  // A method's arguments are an object.
  CdpathCopy p(t.view.current_path);
  ASSERT_EQ(cdpath_resolve(t.client, p.path, "Device.IP.Ping"), 0);
  p.path.in_method = true;
  ASSERT_EQ(cdpath_resolve(t.client, p.path, "#input"), 0);
  EXPECT_EQ(cdpath_request_text(p.path), "Device.IP.Ping.#input.");
}

}  // namespace
