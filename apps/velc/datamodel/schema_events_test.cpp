// Change events received from veld, applied to the fixture cache.
#include <gtest/gtest.h>

#include <cstdio>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "link/events.h"

using testing_support::FakeVeld;
using testing_support::Strings;
using testing_support::TestClient;

namespace {

std::string dump(json_t* v) { return k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY); }

TEST(SchemaEvents, AddedInstancesAreFetchedInOneRequestAndDeletedOnesDropped) {
  TestClient t;
  t.load_schema();
  const std::string fetch =
      R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.3."],"Depth":-1})";
  FakeVeld veld(t.session, {{fetch, R"([{"Name":"Device.Hosts.Host.3.","Attributes":{"type":"object"}},
                             {"Name":"Device.Hosts.Host.3.X","Attributes":{"type":"string"}}])"}});
  json_t* instance_1 = t.at("Device.Hosts.Host.1");
  for (const char* event : {
           R"({"Action":"Delete","Path":"Device.Hosts.Host.2.","InstanceNumber":2})",
           R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":1})",  // cached
           R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":3})",
           R"({"Action":"Add","Path":"Device.Nowhere.","InstanceNumber":4})",  // table not cached
           R"({"Action":"Delete","Path":"Device.Nowhere.Table.1.","InstanceNumber":1})",
           R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":"5"})"}) {
    veld.send_change(event);
    ASSERT_EQ(event_receive(t.session, t.view.pending_changes, false), 0);
  }
  schema_apply_events(t.client);
  EXPECT_EQ(veld.take_requests(), Strings{fetch});
  EXPECT_FALSE(t.at("Device.Hosts.Host.2"));
  EXPECT_EQ(t.at("Device.Hosts.Host.1"), instance_1);
  EXPECT_EQ(dump(t.at("Device.Hosts.Host.3")),
            R"({"X":{"#attr":{"type":"string"}},"#attr":{"type":"object"},"#fetched":true})");
  EXPECT_FALSE(t.at("Device.Hosts.Host.5"));
  schema_apply_events(t.client);  // the queue was taken
  EXPECT_TRUE(veld.take_requests().empty());
}

// An instance deleted and added again under the same number is a new instance: the table lists
// it, and its parameters are the new ones, fetched anew, whether both events arrive before the
// cache is next used or one after the other; an instance veld no longer has is not listed.
TEST(SchemaEvents, InstanceDeletedAndAddedAgainIsFetchedAnew) {
  const char* deleted = R"({"Action":"Delete","Path":"Device.Hosts.Host.%d.","InstanceNumber":%d})";
  const char* added = R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":%d})";
  auto event = [](const char* format, int number) {
    char text[128];
    std::snprintf(text, sizeof text, format, number, number);
    return std::string(text);
  };
  const std::string fetch = R"(GetParameterAttributes {"ParameterNames":)"
                            R"(["Device.Hosts.Host.1.","Device.Hosts.Host.2."],"Depth":-1})";
  for (bool apply_between : {false, true}) {
    TestClient t;
    t.load_schema();
    FakeVeld veld(t.session, {{fetch, R"([{"Name":"Device.Hosts.Host.1.","Attributes":{"type":"object"}},
                               {"Name":"Device.Hosts.Host.1.Port","Attributes":{"type":"string"}}])"}});
    for (int step = 0; step < 2; ++step) {
      for (int number : {1, 2}) {  // 2 is gone again by the time it is fetched
        veld.send_change(event(step == 0 ? deleted : added, number).c_str());
        ASSERT_EQ(event_receive(t.session, t.view.pending_changes, false), 0);
      }
      if (apply_between || step == 1) schema_apply_events(t.client);
    }
    SCOPED_TRACE(apply_between ? "applied between" : "applied together");
    EXPECT_EQ(veld.take_requests(), Strings{fetch});
    CdpathCopy table(t.view.current_path);
    ASSERT_EQ(cdpath_resolve_quiet(t.client, table.path, "Device.Hosts.Host"), 0);
    EXPECT_EQ(dump(schema_list_children(t.client, table.path, nullptr, kListMarkObjects).get()),
              R"(["max_instance","1."])");
    std::vector<std::string> completed;
    schema_for_each_child(t.client, table.path, "1", kListMatchPrefix,
                          [&](const char* name, bool) { return completed.push_back(name), true; });
    EXPECT_EQ(completed, Strings{"1"});
    for (auto [path, result] : {std::pair{"Device.Hosts.Host.1.Port", 0},
                                {"Device.Hosts.Host.1.HostName", -1}}) {
      CdpathCopy p(t.view.current_path);
      EXPECT_EQ(cdpath_resolve_quiet(t.client, p.path, path), result) << path;
    }
    EXPECT_TRUE(veld.take_requests().empty());  // the new instance is held whole
  }
}

// Changes beyond what is worth following one by one: the table, or every cached table, is
// emptied to be fetched anew when used, without a request now.
TEST(SchemaEvents, TooManyChangesMakeTablesStale) {
  for (bool many_tables : {false, true}) {
    TestClient t;
    t.load_schema();
    for (int i = 1; i <= 300; ++i) {
      std::string table = many_tables ? "Device.T" + std::to_string(i) + "." : "Device.Hosts.Host.";
      k::Json data = k::Json::take(
          json_pack("{s:s, s:s, s:i}", "Action", "Add", "Path", table.c_str(), "InstanceNumber", i));
      t.view.pending_changes.push(data.get());
    }
    schema_apply_events(t.client);  // no veld: a request would fail, and none is made
    EXPECT_EQ(dump(t.at("Device.Hosts.Host")), R"({"#attr":{"type":"object","multi":true}})");
    EXPECT_TRUE(t.at("Device.Time.Mask"));  // objects other than tables stay
  }
}

}  // namespace
