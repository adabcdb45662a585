#include "model_load.h"

#include <gtest/gtest.h>

#include <set>

#include "engine.h"
#include "hosts.h"
#include "test_model.h"

namespace sim {
namespace {

#define TABLE(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"P": {"#attr": {"type": "int", "access": "readWrite", "default": 0}}})" extra "}}"
#define ORDERED(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true, "ordered": true}, "#template": {}, "1": {}, "2": {})" extra "}}"

TEST(LoadModel, ErrorsNameThePathAndTheReason) {
  const struct {
    const char* model;
    const char* error;  // expected part of the error text
  } cases[] = {
      {R"({"A": {"#attr": {"type": "string"}}})", "A: a parameter needs a \"default\""},
      {R"({"A": {"#attr": {"type": "string", "default": null}}})", "A: a \"default\" is a text"},
      {R"({"A": {"#attr": {"type": "object", "multi": true}}})", "A: a table needs \"#template\""},
      {R"({"A": {"#bogus": 1}})", "A: unexpected key #bogus"},
      {R"({"A.B": {}})", "bad element name"},
      {TABLE(R"(, "01": {})"), "T: \"01\" is not an instance number"},
      {TABLE(R"(, "1": {"P": "one"})"), "T.1.P: bad value"},
      {TABLE(R"(, "1": {"Q": 1})"), "T.1.Q: not in the template"},
      {TABLE(R"(, "#order": [1])"), "not ordered"},
      {ORDERED(R"(, "#order": [1, 1])"), "must name every instance once"},
      {ORDERED(R"(, "#order": [1, 3])"), "names an instance the table lacks"},
      {R"({"A": {"#attr": {"type": "string", "regex": "[", "default": ""}}})", "regex does not compile"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "object", "multi": true}, "#template": {}, "1": {}}}}})",
       "holds no instances"},
      {R"({"M": {"#attr": {"type": "method"}, "#input": {"O": {}}}})", "an argument must be a parameter"},
      {R"({"T": {"#attr": {"multi": true}, "#template": {}}})", "T: a table needs \"type\": \"object\""},
      {R"({"A": {"#attr": {"type": "string", "multi": true, "default": ""}}})", "A: \"multi\": true is for objects"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "string", "unique": true, "default": ""}}}, "1": {"U": "x"}, "2": {"U": ""}, "3": {"U": "x"}}})",
       "T.3.U: bad value: instance 1 holds it already"},
      // Behaviours: a known handler of the node's kind, with a target exactly when it uses one.
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptme"}})", "A: unknown handler \"uptme\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": 5}})", "A: \"#handler\" must be a text"},
      {R"({"A": {"#attr": {"type": "string", "default": ""}, "#handler": "ping"}})", "A: \"ping\" is a handler of methods, not of parameters"},
      {R"({"M": {"#attr": {"type": "method"}, "#handler": "secret"}})", "M: \"secret\" is a handler of parameters, not of methods"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count"}})", "A: the \"count\" handler needs a \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptime", "#target": "B"}})", "A: the \"uptime\" handler takes no \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#target": "B"}})", "A: \"#target\" without a \"#handler\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "T."}, "T": {"#attr": {"type": "object", "multi": true}, "#template": {}}})",
       "A: \"#target\" \"T.\" is not a relative path without a trailing dot"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "B"}, "B": {"#attr": {"type": "int", "default": 0}}})",
       "A: \"#target\" \"B\" names no table"},
      {R"({"M": {"#attr": {"type": "method"}, "#handler": "debug_mode", "#target": "Nope"}})", "M: \"#target\" \"Nope\" names no parameter"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(load_model(k::json_parse(c.model).get(), error), nullptr) << c.model;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// The model a daemon serves when no other is given.
std::unique_ptr<Node> default_model() {
  std::string error;
  auto root = load_model_file(VELD_SIM_DEFAULT_MODEL, error);
  EXPECT_NE(root, nullptr) << error;
  return root;
}

TEST(DefaultModel, MethodsActOnTheirTargets) {
  Engine engine(default_model());
  Caller caller;
  k::Json mode = k::json_str("temporary");
  ASSERT_TRUE(engine.execute(caller, "Device.System.Debug", {{"Mode", mode}}).ok());
  EXPECT_EQ(test::values(engine, {"Device.System.DebugMode"}),
            R"(Device.System.DebugMode="temporary")");
  ASSERT_TRUE(engine.execute(caller, "Device.IP.Interface.2.Reset", {}).ok());
  EXPECT_EQ(test::values(engine, {"Device.IP.Interface.2.Stats.BytesSent"}),
            "Device.IP.Interface.2.Stats.BytesSent=0");
}

TEST(DefaultModel, PingSetsEveryOutput) {
  Engine engine(default_model());
  const struct {
    const char* arguments;
    const char* outputs;  // Status, IPAddressUsed, success and failure counts, average, min, max
  } cases[] = {
      {R"([{"Name":"Host","Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":4}])",
       R"("Complete" "192.168.1.1" 4 0 14 13 16)"},
      // Round trip 39 ms: the slowest reply (41 ms) decides whether all arrive in time.
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":41}])",
       R"("Complete" "192.168.1.1" 3 0 39 38 41)"},
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":40}])",
       R"("Complete" "192.168.1.1" 0 3 0 0 0)"},
      // Nothing of the run before is left behind.
      {R"([{"Name":"Host","Value":"10.0.0.1"}])", R"("Complete" "192.168.1.1" 3 0 14 13 16)"},
      {R"([{"Name":"Host","Value":"nas.invalid"}])", R"("Error_CannotResolveHostName" "" 0 0 0 0 0)"},
      {"[]", R"("Error_CannotResolveHostName" "" 0 0 0 0 0)"},
  };
  for (const auto& c : cases) {
    std::vector<NamedValue> args;
    k::Json list = k::json_parse(c.arguments);
    size_t i;
    json_t* e;
    json_array_foreach(list.get(), i, e)
      args.push_back({k::json_text(e, "Name"), k::Json::borrow(json_object_get(e, "Value"))});
    Reply r = engine.execute(Caller{}, "Device.IP.Diagnostics.Ping", args);
    std::string outputs;
    json_array_foreach(json_object_get(r.result_json().get(), "ParameterList"), i, e)
      outputs += (outputs.empty() ? "" : " ") + k::json_dump(json_object_get(e, "Value"), JSON_ENCODE_ANY);
    EXPECT_EQ(outputs, c.outputs) << c.arguments;
  }
}

TEST(SyntheticHosts, FillTheHostTableWithValidUniqueHosts) {
  auto root = default_model();
  std::string error;
  ASSERT_TRUE(fill_hosts(*root, 5000, error)) << error;
  Engine engine(std::move(root));
  k::Json result = engine.get_parameter_values(Caller{}, {"Device.Hosts.Host.#template.IPAddress"}, false).result_json();
  std::set<std::string> addresses;  // a refused address stays empty, a repeated one counts once
  size_t i;
  json_t* e;
  json_array_foreach(json_object_get(result.get(), "ParameterList"), i, e)
    addresses.insert(k::json_text(e, "Value"));
  EXPECT_EQ(addresses.size(), 5000u);
  EXPECT_EQ(test::values(engine, {"Device.Hosts.HostNumberOfEntries"}),
            "Device.Hosts.HostNumberOfEntries=5000");

  root = load_model(k::json_parse(R"({"Device": {}})").get(), error);
  EXPECT_FALSE(fill_hosts(*root, 3, error)) << "a model without the host table";
}

}  // namespace
}  // namespace sim
