// Change events received from veld, applied to the fixture cache, seen as a user sees them: the
// table's listing, completion of its instances, and their parameters.
#include <gtest/gtest.h>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "link/events.h"

using testing_support::FakeVeld;
using testing_support::Strings;
using testing_support::TestClient;

namespace {

std::string dump(json_t* v) { return k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY); }

// Added instances are fetched in one request, deleted ones dropped; one deleted and added again
// under its number is a new instance, fetched anew, whether both events arrive before the cache
// is next used or one after the other. An instance veld no longer has is not listed.
TEST(SchemaEvents, InstancesAddedDeletedAndAddedAgain) {
  const std::string fetch = R"(GetParameterAttributes {"ParameterNames":)"
                            R"(["Device.Hosts.Host.1.","Device.Hosts.Host.3."],"Depth":-1})";
  const char* const batches[2][4] = {
      {R"({"Action":"Delete","Path":"Device.Hosts.Host.1.","InstanceNumber":1})",
       R"({"Action":"Add","Path":"Device.Nowhere.","InstanceNumber":4})",  // table not cached
       R"({"Action":"Delete","Path":"Device.Nowhere.Table.1.","InstanceNumber":1})",
       R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":"5"})"},
      {R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":1})",
       R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":2})",  // cached
       R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":3})"}};  // gone again
  for (bool apply_between : {false, true}) {
    SCOPED_TRACE(apply_between ? "applied between" : "applied together");
    TestClient t;
    t.load_schema();
    FakeVeld veld(t.session, {{fetch, R"([{"Name":"Device.Hosts.Host.1.","Attributes":{"type":"object"}},
                               {"Name":"Device.Hosts.Host.1.Port","Attributes":{"type":"string"}}])"}});
    SchemaNodePtr instance_2 = t.at("Device.Hosts.Host.2");
    for (const auto& batch : batches) {
      for (const char* event : batch) {
        if (!event) continue;
        t.view.pending_changes.push(k::json_parse(event).get());
      }
      if (apply_between || &batch == &batches[1]) schema_apply_events(t.client);
    }
    EXPECT_EQ(veld.take_requests(), Strings{fetch});
    EXPECT_EQ(t.at("Device.Hosts.Host.2"), instance_2);
    cdpath table = t.view.current_path;
    ASSERT_EQ(cdpath_resolve_quiet(t.client, table, "Device.Hosts.Host"), 0);
    EXPECT_EQ(dump(schema_list_children(t.client, table, nullptr, kListMarkObjects).get()),
              R"(["2.","max_instance","1."])");
    Strings completed;
    schema_for_each_child(t.client, table, "1", kListMatchPrefix,
                          [&](const char* name, bool) { return completed.push_back(name), true; });
    EXPECT_EQ(completed, Strings{"1"});
    for (auto [path, result] :
         {std::pair{"Device.Hosts.Host.1.Port", 0}, {"Device.Hosts.Host.1.HostName", -1}}) {
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
    TestClient t;
    t.load_schema();
    for (int i = 1; i <= 300; ++i) {
      std::string table = many_tables ? "Device.T" + std::to_string(i) + "." : "Device.Hosts.Host.";
      k::Json data = k::Json::take(
          json_pack("{s:s, s:s, s:i}", "Action", "Add", "Path", table.c_str(), "InstanceNumber", i));
      t.view.pending_changes.push(data.get());
    }
    schema_apply_events(t.client);  // no veld: a request would fail, and none is made
    SchemaNodePtr table = t.at("Device.Hosts.Host");
    EXPECT_TRUE(table->below_unknown() && table->attributes.multi);  // its attributes stay
    EXPECT_TRUE(t.at("Device.Time.Mask"));  // objects other than tables stay
  }
}

}  // namespace
