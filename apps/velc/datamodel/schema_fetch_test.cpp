// The schema cache against a fake veld: what is fetched, when, and how the replies land.
#include <gtest/gtest.h>

#include "datamodel/schema.h"
#include "datamodel/test_support.h"
#include "entry/events.h"
#include "platform/tr.h"

using testing_support::FakeVeld;
using testing_support::MiniModel;
using testing_support::output_of;

namespace {

std::string dump(json_t* v) { return k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY); }

class SchemaFetchTest : public testing::Test {
 protected:
  void SetUp() override { k::colors_force(false); }
  void TearDown() override {
    cdpath_free(current_path);
    cdpath_free(previous_path);
    schema_root = k::Json();
  }

  // Rebuilds the cache from the fake and forgets the requests that took.
  void reset() {
    schema_reset();
    seen_ = veld_.requests().size();
  }
  // The requests since the last call.
  std::vector<std::string> new_requests() {
    std::vector<std::string> all = veld_.requests();
    std::vector<std::string> fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }
  json_t* at(const char* path) { return k::conf_find_branch(schema_root.get(), path); }

  MiniModel model_;
  FakeVeld veld_{[this](const std::string& method, json_t* params) {
    return model_.answer(method, params);
  }};
  size_t seen_ = 0;
};

TEST_F(SchemaFetchTest, ResetFetchesTheTopLevelAndDropsDataModelVersion) {
  previous_path.text = "Old.Position";  // stands in a cache that is about to go
  schema_reset();
  EXPECT_EQ(new_requests(),
            std::vector<std::string>{R"(GetParameterAttributes {"ParameterNames":["."],"Depth":1})"});
  EXPECT_EQ(dump(schema_root.get()),
            R"({"Device":{"#attr":{"type":"object"}},"#attr":{"type":"object"},"#fetched":true})");
  EXPECT_EQ(current_path.node, schema_root.get());
  EXPECT_EQ(previous_path.node, schema_root.get());
  EXPECT_EQ(previous_path.text, "");
}

TEST(SchemaReset, GivesNoneWhenVeldCannotBeAsked) {
  requests_handle().set_destination("/nonexistent/veld.sock");
  EXPECT_EQ(schema_reset(), nullptr);
  EXPECT_EQ(current_path.node, schema_root.get());
  cdpath_free(current_path);
  cdpath_free(previous_path);
  schema_root = k::Json();
}

TEST_F(SchemaFetchTest, AChildOfANodeKnownOnlyByItsAttributesIsFetchedOnce) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.DeviceInfo"), 0);
  EXPECT_EQ(new_requests(), std::vector<std::string>{
                                R"(GetParameterAttributes {"ParameterNames":["Device."],"Depth":1})"});
  EXPECT_EQ(dump(at("Device")),
            R"({"Broken":{"#attr":{"type":"object"}},"DeviceInfo":{"#attr":{"type":"object"}},)"
            R"("Firewall":{"#attr":{"type":"object"}},"Hosts":{"#attr":{"type":"object"}},)"
            R"("#attr":{"type":"object"},"#fetched":true})");
  CdpathCopy again(current_path);
  ASSERT_EQ(cdpath_resolve(again.path, "device.deviceinfo"), 0);
  EXPECT_EQ(again.path.text, "Device.DeviceInfo");
  EXPECT_TRUE(new_requests().empty());
}

TEST_F(SchemaFetchTest, ATableArrivesWithAllInstancesSubtreesAtOnce) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Hosts.Host"), 0);
  new_requests();
  ASSERT_EQ(cdpath_resolve(p.path, "1.HostName"), 0);
  EXPECT_EQ(new_requests(),
            (std::vector<std::string>{
                R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host."],"Depth":1})",
                R"(GetParameterNames {"ParameterPath":"Device.Hosts.Host.","NextLevel":true})",
                R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.1.",)"
                R"("Device.Hosts.Host.2.","Device.Hosts.Host.max_instance"],"Depth":-1,)"
                R"("IgnoreAccessError":true})"}));
  EXPECT_TRUE(json_is_true(json_object_get(at("Device.Hosts.Host.2"), "#fetched")));
  EXPECT_TRUE(at("Device.Hosts.Host.2.HostName"));
  EXPECT_TRUE(at("Device.Hosts.Host.#template.HostName"));
  CdpathCopy sibling(current_path);
  ASSERT_EQ(cdpath_resolve(sibling.path, "Device.Hosts.Host.2.HostName"), 0);
  EXPECT_TRUE(new_requests().empty());
}

TEST_F(SchemaFetchTest, AnUnknownInstanceRefetchesTheTableThenFallsBackToTheTemplate) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Hosts.Host.1"), 0);
  ASSERT_EQ(cdpath_resolve(p.path, "<.7.HostName"), 0);
  EXPECT_EQ(p.path.text, "Device.Hosts.Host.7.HostName");
  EXPECT_EQ(p.path.node, at("Device.Hosts.Host.#template.HostName"));
  new_requests();

  model_.add_instance("Device.Hosts.Host.", 7);  // created since
  ASSERT_EQ(cdpath_resolve(p.path, "<.<.7"), 0);
  EXPECT_EQ(new_requests().size(), 3u);
  EXPECT_EQ(p.path.node, at("Device.Hosts.Host.7"));
}

TEST_F(SchemaFetchTest, OnlyInstanceNumbersFallBackToTheTemplate) {
  struct {
    const char* name;
    int result;
  } cases[] = {{"12345678901234567890", 0}, {"123456789012345678901", -1}, {"12a", -1}};
  reset();
  for (const auto& c : cases) {
    CdpathCopy p(current_path);
    ASSERT_EQ(cdpath_resolve(p.path, "Device.Hosts.Host"), 0);
    EXPECT_EQ(cdpath_resolve(p.path, c.name), c.result) << c.name;
  }
}

TEST_F(SchemaFetchTest, AFetchedOrderedTableHoldsOrder) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Firewall.Rule.1"), 0);
  EXPECT_EQ(dump(json_object_get(at("Device.Firewall.Rule"), "order")), R"({"#fetched":true})");
  new_requests();
  ASSERT_EQ(cdpath_resolve(p.path, "<.order"), 0);
  EXPECT_TRUE(new_requests().empty());
}

TEST_F(SchemaFetchTest, ARefusedFetchLeavesAnEmptyFetchedNode) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Broken"), 0);
  EXPECT_EQ(cdpath_resolve(p.path, "Anything"), -1);
  EXPECT_EQ(dump(at("Device.Broken")), R"({"#fetched":true})");
  new_requests();
  EXPECT_EQ(cdpath_resolve(p.path, "Anything"), -1);
  EXPECT_TRUE(new_requests().empty());  // stays empty until the next reset
}

TEST_F(SchemaFetchTest, AMissingTemplateIsFetchedIntoANodeOfItsOwn) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.*"), 0);
  new_requests();
  EXPECT_EQ(cdpath_resolve(p.path, "X"), -1);  // asks veld for Device.#template. and gets nothing
  EXPECT_EQ(new_requests(), std::vector<std::string>{
      R"(GetParameterAttributes {"ParameterNames":["Device.#template."],"Depth":1})"});
  EXPECT_EQ(dump(p.path.node), R"({"#fetched":true})");
  EXPECT_FALSE(json_object_get(at("Device"), "#template"));  // the cache is left alone
}

TEST_F(SchemaFetchTest, APathWithoutNodeGetsOneOnFetch) {
  reset();
  cdpath p;
  cdpath_new(p);
  ASSERT_EQ(cdpath_push(p, nullptr, "Device", false, false), 0);
  json_t* child = schema_child(p, "DeviceInfo");
  ASSERT_NE(p.node, nullptr);
  EXPECT_EQ(child, json_object_get(p.node, "DeviceInfo"));
  EXPECT_NE(child, nullptr);
  cdpath_free(p);
}

TEST_F(SchemaFetchTest, APathKeepsItsNodeWhenTheTableIsFetchedAgain) {
  reset();
  ASSERT_EQ(cdpath_resolve(current_path, "Device.Hosts.Host.1"), 0);
  json_t* before = current_path.node;
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "<.9"), 0);  // refetches Host: a new node for 1
  EXPECT_NE(at("Device.Hosts.Host.1"), before);
  EXPECT_EQ(cdpath_resolve(current_path, "HostName"), 0);
  EXPECT_EQ(current_path.text, "Device.Hosts.Host.1.HostName");
}

TEST_F(SchemaFetchTest, ListNamesAsksVeldForATablesInstances) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Hosts.Host"), 0);
  new_requests();
  EXPECT_EQ(dump(schema_list_names(p.path).get()), R"(["1","2","max_instance"])");
  EXPECT_EQ(new_requests(), std::vector<std::string>{
      R"(GetParameterNames {"ParameterPath":"Device.Hosts.Host.","NextLevel":true})"});

  model_.failing.insert("Device.Hosts.Host.");
  EXPECT_FALSE(schema_list_names(p.path));
}

TEST_F(SchemaFetchTest, ListChildrenFetchesANodeNotYetFetched) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device"), 0);
  new_requests();
  EXPECT_EQ(dump(schema_list_children(p.path, nullptr, LIST_MARK_OBJECTS).get()),
            R"(["Broken.","DeviceInfo.","Firewall.","Hosts."])");
  EXPECT_EQ(new_requests().size(), 1u);
}

// Delivers the events sent by the fake to the queue, as the shell loop does.
void receive_events(int count) {
  for (int i = 0; i < count; ++i) ASSERT_EQ(event_receive(), 0);
}

TEST_F(SchemaFetchTest, EventsAddAndRemoveCachedInstances) {
  reset();
  CdpathCopy p(current_path);
  ASSERT_EQ(cdpath_resolve(p.path, "Device.Hosts.Host.1"), 0);
  model_.add_instance("Device.Hosts.Host.", 3);
  new_requests();

  veld_.send_change("Delete", "Device.Hosts.Host.2.", 2);
  veld_.send_change("Add", "Device.Hosts.Host.", 1);       // already cached
  veld_.send_change("Add", "Device.Hosts.Host.", 3);
  veld_.send_change("Add", "Device.Nowhere.", 4);          // table not cached
  veld_.send_change("Delete", "Device.Nowhere.Table.1.", 1);
  veld_.send_change_data(k::json_parse(R"({"Action":"Add","Path":"Device.Hosts.Host.",)"
                                       R"("InstanceNumber":"5"})"));  // does not unpack
  receive_events(6);
  json_t* instance_1 = at("Device.Hosts.Host.1");
  schema_apply_events();

  EXPECT_EQ(new_requests(), std::vector<std::string>{
      R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.3"],"Depth":-1})"});
  EXPECT_FALSE(at("Device.Hosts.Host.2"));
  EXPECT_EQ(at("Device.Hosts.Host.1"), instance_1);
  EXPECT_TRUE(json_is_true(json_object_get(at("Device.Hosts.Host.3"), "#fetched")));
  EXPECT_EQ(dump(at("Device.Hosts.Host.3.HostName")),
            R"({"#attr":{"type":"string","default":""}})");
  EXPECT_FALSE(at("Device.Hosts.Host.5"));

  schema_apply_events();  // the queue was taken
  EXPECT_TRUE(new_requests().empty());
}

}  // namespace
