// Change events received from veld, applied to the fixture cache, seen as a user sees them: the
// table's listing, completion of its instances, and their parameters.
#include <gtest/gtest.h>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "link/events.h"

using namespace testing_support;

static void push_event(TestClient& t, const char* action, const std::string& path, int number) {
  t.view.pending_changes.push(
      k::Json::take(json_pack("{s:s, s:s, s:i}", "Action", action, "Path", path.c_str(), "InstanceNumber", number)).get());
}

// Added instances are fetched in one request, deleted ones dropped; one deleted and added again
// under its number is a new instance, fetched anew, whether both events arrive before the cache
// is next used or one after the other. An instance veld no longer has is not listed.
TEST(SchemaEvents, InstancesAddedDeletedAndAddedAgain) {
  const std::string fetch = R"(GetParameterAttributes {"ParameterNames":)"
                            R"(["Device.Hosts.Host.1.","Device.Hosts.Host.3."],"Depth":-1})";
  for (bool apply_between : {false, true}) {
    SCOPED_TRACE(apply_between ? "applied between" : "applied together");
    TestClient t{kWithCache};
    FakeVeld veld(t.session, {{fetch, R"([{"Name":"Device.Hosts.Host.1.","Attributes":{"type":"object"}},
                               {"Name":"Device.Hosts.Host.1.Port","Attributes":{"type":"string"}}])"}});
    SchemaNodePtr instance_2 = t.at("Device.Hosts.Host.2");
    push_event(t, "Delete", "Device.Hosts.Host.1.", 1);
    push_event(t, "Add", "Device.Nowhere.", 4);  // table not cached
    push_event(t, "Delete", "Device.Nowhere.Table.1.", 1);
    if (apply_between) schema_apply_events(t.client);
    for (int number : {1, 2, 3}) push_event(t, "Add", "Device.Hosts.Host.", number);  // 2 cached, 3 gone
    schema_apply_events(t.client);
    EXPECT_EQ(veld.take_requests(), Strings{fetch});
    EXPECT_EQ(t.at("Device.Hosts.Host.2"), instance_2);
    cdpath table = t.view.current_path;
    ASSERT_EQ(cdpath_resolve_quiet(t.client, table, "Device.Hosts.Host"), 0);
    EXPECT_EQ(k::json_dump(schema_list_children(t.client, table, nullptr, kListMarkObjects).get(), JSON_COMPACT),
              R"(["2.","max_instance","1."])");
    Strings completed;
    schema_for_each_child(t.client, table, "1", kListMatchPrefix,
                          [&](const char* name, bool) { return completed.push_back(name), true; });
    EXPECT_EQ(completed, Strings{"1"});
    for (auto [path, result] : {std::pair{"Device.Hosts.Host.1.Port", 0}, {"Device.Hosts.Host.1.HostName", -1}}) {
      cdpath p = t.view.current_path;
      EXPECT_EQ(cdpath_resolve_quiet(t.client, p, path), result) << path;
    }
    schema_apply_events(t.client);  // the queue was taken
    EXPECT_TRUE(veld.take_requests().empty());  // the new instance is held whole
  }
}

// Changes beyond what is worth following one by one: the table, or every cached table, is
// emptied to be fetched anew when used, without a request now.
TEST(SchemaEvents, TooManyChangesMakeTablesStale) {
  for (bool many_tables : {false, true}) {
    TestClient t{kWithCache};
    for (int i = 1; i <= 300; ++i)
      push_event(t, "Add", many_tables ? "Device.T" + std::to_string(i) + "." : "Device.Hosts.Host.", i);
    schema_apply_events(t.client);  // no veld: a request would fail, and none is made
    SchemaNodePtr table = t.at("Device.Hosts.Host");
    EXPECT_TRUE(table->below_unknown() && table->attributes.multi);  // its attributes stay
    EXPECT_TRUE(t.at("Device.Time.Mask"));  // objects other than tables stay
  }
}
