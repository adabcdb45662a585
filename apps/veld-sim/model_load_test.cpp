#include "model_load.h"

#include <gtest/gtest.h>

#include <set>

#include "engine.h"
#include "hosts.h"
#include "value_check.h"

namespace sim {
namespace {

struct BadModel {
  const char* model;
  const char* error;  // expected part of the error text
};

class LoadErrors : public ::testing::TestWithParam<BadModel> {};

TEST_P(LoadErrors, NameThePathAndTheReason) {
  k::Json model = k::json_parse(GetParam().model);
  ASSERT_TRUE(model) << GetParam().model;
  std::string error;
  EXPECT_EQ(load_model(model.get(), error), nullptr);
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

#define TABLE(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"P": {"#attr": {"type": "int", "access": "readWrite", "default": 0}}})" extra "}}"
#define ORDERED(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true, "ordered": true}, "#template": {}, "1": {}, "2": {})" extra "}}"

INSTANTIATE_TEST_SUITE_P(
    Models, LoadErrors,
    ::testing::Values(
        BadModel{R"({"A": {"#attr": {"type": "string"}}})", "A: a parameter needs a \"default\""},
        BadModel{R"({"A": {"#attr": {"type": "object", "multi": true}}})", "A: a table needs \"#template\""},
        BadModel{R"({"A": {"#bogus": 1}})", "A: unexpected key #bogus"},
        BadModel{R"({"A": 5})", "A: a node must be a JSON object"},
        BadModel{R"({"A.B": {}})", "bad element name"},
        BadModel{R"({"A": {"#attr": {"type": 5}}})", "A: \"type\" must be a text"},
        BadModel{TABLE(R"(, "x": {})"), "T: \"x\" is not an instance number"},
        BadModel{TABLE(R"(, "01": {})"), "T: \"01\" is not an instance number"},
        BadModel{TABLE(R"(, "0": {})"), "T: \"0\" is not an instance number"},
        BadModel{TABLE(R"(, "1": {"P": "one"})"), "T.1.P: bad value"},
        BadModel{TABLE(R"(, "1": {"Q": 1})"), "T.1.Q: not in the template"},
        BadModel{TABLE(R"(, "#order": [1])"), "not ordered"},
        BadModel{ORDERED(R"(, "#order": [1])"), "must name every instance once"},
        BadModel{ORDERED(R"(, "#order": [1, 1])"), "must name every instance once"},
        BadModel{ORDERED(R"(, "#order": [1, 3])"), "names an instance the table lacks"},
        BadModel{R"({"A": {"#attr": {"type": "string", "regex": "[", "default": ""}}})", "regex does not compile"},
        BadModel{R"({"A": {"#attr": {"type": "string", "maxLength": 2, "default": ""}, "#value": "long"}})", "A: bad value"},
        BadModel{R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "object", "multi": true}, "#template": {}, "1": {}}}}})",
                 "holds no instances"},
        BadModel{R"({"M": {"#attr": {"type": "method"}, "#input": {"O": {}}}})", "an argument must be a parameter"}));

// The first value a GetParameterValues of `path` lists, as JSON text.
std::string first_value(Engine& engine, const std::string& path) {
  k::Json result = engine.get_parameter_values(Caller{}, {path}, false).result_json();
  json_t* entry = json_array_get(json_object_get(result.get(), "ParameterList"), 0);
  return k::json_dump(json_object_get(entry, "Value"), JSON_ENCODE_ANY);
}

// The model a daemon serves when no other is given.
std::unique_ptr<Node> default_model() {
  std::string error;
  auto root = load_model_file(VELD_SIM_DEFAULT_MODEL, error);
  EXPECT_NE(root, nullptr) << error;
  return root;
}

TEST(DefaultModel, LoadsAndHasTheNodesTheClientTestsUse) {
  Engine engine(default_model());
  Caller caller;
  Reply r = engine.get_parameter_attributes(
      caller,
      {"Device.Firewall.Chain.1.Rule.", "Device.Firewall.Chain.1.Rule.1.SourceMask",
       "Device.System.Umask", "Device.System.FeatureFlags", "Device.DeviceInfo.DeviceMode",
       "Device.DeviceInfo.Manufacturer", "Device.IP.Diagnostics.Ping", "Device.System.Debug",
       "Device.IP.Interface.1.Reset", "Device.Users.CurrentUser", "Device.Users.SystemAccess",
       "Device.Hosts.Host.1.Layer3Interface", "Device.WiFi.AccessPoint.1.Security.KeyPassphrase",
       "Device.ManagementServer.PeriodicInformInterval"},
      0, false);
  ASSERT_TRUE(r.ok()) << r.fault.detail;
  k::Json result = r.result_json();
  auto attr = [&](size_t i, const char* key) {
    return json_object_get(
        json_object_get(json_array_get(json_object_get(result.get(), "ParameterList"), i),
                        "Attributes"),
        key);
  };
  EXPECT_TRUE(json_is_true(attr(0, "ordered")));
  EXPECT_EQ(json_integer_value(attr(1, "base")), 16);
  EXPECT_EQ(json_integer_value(attr(2, "base")), 8);
  EXPECT_EQ(json_integer_value(attr(3, "base")), 2);
  EXPECT_EQ(json_array_size(attr(4, "enum")), 4u);
  EXPECT_TRUE(json_is_true(attr(5, "const")));
  EXPECT_EQ(json_integer_value(attr(12, "maxLength")), 63);
}

TEST(DefaultModel, ListsFullyAndPingsAndDebugs) {
  Engine engine(default_model());
  Caller caller;
  EXPECT_TRUE(engine.get_parameter_values(caller, {"."}, false).ok());
  EXPECT_TRUE(engine.get_parameter_attributes(caller, {"."}, -1, false).ok());
  EXPECT_TRUE(engine.get_parameter_names(caller, ".", false).ok());
  k::Json mode = k::json_str("temporary");
  Reply r = engine.execute(caller, "Device.System.Debug", {{"Mode", mode}});
  ASSERT_TRUE(r.ok()) << r.fault.detail;
  EXPECT_EQ(first_value(engine, "Device.System.DebugMode"), "\"temporary\"");
  EXPECT_TRUE(engine.execute(caller, "Device.IP.Interface.2.Reset", {}).ok());
  EXPECT_EQ(first_value(engine, "Device.IP.Interface.2.Stats.BytesSent"), "0");
}

TEST(DefaultModel, DeletingAnInterfaceClearsHostsAndTakesItsPool) {
  Engine engine(default_model());
  Caller caller;
  EXPECT_EQ(engine.delete_object(caller, "Device.WiFi.SSID.1.").fault.code, kRequestDenied);
  ASSERT_TRUE(engine.delete_object(caller, "Device.IP.Interface.1.").ok());
  EXPECT_EQ(first_value(engine, "Device.Hosts.Host.1.Layer3Interface"), "\"\"");
  EXPECT_EQ(first_value(engine, "Device.DHCPv4.Server.PoolNumberOfEntries"), "0");
}

TEST(SyntheticHosts, FillTheHostTableWithValidUniqueHosts) {
  auto root = default_model();
  std::string error;
  ASSERT_TRUE(fill_hosts(*root, 5000, error)) << error;
  Engine engine(std::move(root));
  Caller caller;
  Reply r = engine.get_parameter_values(caller, {"Device.Hosts.Host.#template.IPAddress"}, false);
  k::Json result = r.result_json();
  json_t* list = json_object_get(result.get(), "ParameterList");
  ASSERT_EQ(json_array_size(list), 5000u);
  std::set<std::string> addresses;
  size_t i;
  json_t* e;
  json_array_foreach(list, i, e) addresses.insert(k::json_text(e, "Value"));
  EXPECT_EQ(addresses.size(), 5000u);
  EXPECT_EQ(first_value(engine, "Device.Hosts.HostNumberOfEntries"), "5000");
}

TEST(SyntheticHosts, NeedTheHostTable) {
  k::Json model = k::json_parse(R"({"Device": {}})");
  std::string error;
  auto root = load_model(model.get(), error);
  ASSERT_TRUE(root);
  EXPECT_FALSE(fill_hosts(*root, 3, error));
}

}  // namespace
}  // namespace sim
