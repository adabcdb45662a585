// A small model for the engine and server tests (plain, read-only and constant parameters, a
// table with a nested table and a maximum, an ordered table with a minimum, a read-only table, a
// method, a counter, a secret and the connection's user), and a one-line summary of the engine's
// replies. It has no accounts: guests may do everything.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "engine/engine.h"
#include "model/model_load.h"
#include "platform/json.h"

namespace sim::test {

inline constexpr const char* kTestModel = R"({
 "Device": {
  "Name": {"#attr": {"type": "string", "access": "readWrite", "maxLength": 8, "default": "box"}},
  "Serial": {"#attr": {"type": "string", "access": "readOnly", "default": "S1"}},
  "Model": {"#attr": {"type": "string", "access": "readWrite", "const": true, "default": "M"}},
  "Level": {"#attr": {"type": "unsignedInt", "access": "readWrite", "minInclusive": 1, "maxInclusive": 10, "default": 5}},
  "Secret": {"#attr": {"type": "string", "access": "readWrite", "default": ""}, "#handler": "secret", "#value": "hidden"},
  "HostCount": {"#attr": {"type": "unsignedInt", "access": "readOnly", "default": 0}, "#handler": "count", "#target": "Host"},
  "Host": {
   "#attr": {"type": "object", "multi": true, "access": "readWrite", "maxCount": 3},
   "#template": {"Name": {"#attr": {"type": "string", "access": "readWrite", "unique": true, "default": ""}},
    "Up": {"#attr": {"type": "boolean", "access": "readWrite", "default": false}},
    "Addr": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
     "#template": {"IP": {"#attr": {"type": "IPv4Address", "access": "readWrite", "default": ""}}}}
   }, "1": {"Name": "a", "Up": true, "Addr": {"1": {"IP": "10.0.0.1"}}}, "3": {"Name": "c"}},
  "Rule": {"#attr": {"type": "object", "multi": true, "ordered": true, "access": "readWrite", "minCount": 2},
   "#template": {"Port": {"#attr": {"type": "int", "access": "readWrite", "default": -1}}},
   "1": {"Port": 22}, "2": {"Port": 80}, "3": {"Port": 443}, "#order": [3, 1, 2]},
  "Fixed": {"#attr": {"type": "object", "multi": true, "access": "readOnly"},
   "#template": {"X": {"#attr": {"type": "int", "access": "readOnly", "default": 0}}}, "1": {}},
  "Ping": {"#attr": {"type": "method"}, "#handler": "ping",
   "#input": {"Host": {"#attr": {"type": "string", "access": "readWrite", "default": ""}},
    "NumberOfRepetitions": {"#attr": {"type": "unsignedInt", "access": "readWrite", "minInclusive": 1, "maxInclusive": 10, "default": 3}}},
   "#output": {"Status": {"#attr": {"type": "string", "access": "readOnly", "default": ""}},
    "SuccessCount": {"#attr": {"type": "unsignedInt", "access": "readOnly", "default": 0}}}},
  "CurrentUser": {"#attr": {"type": "string", "access": "readOnly", "default": ""}, "#handler": "current_user"},
  "SystemAccess": {"#attr": {"type": "boolean", "access": "readOnly", "default": false}, "#handler": "system_access"}
 }
})";

// A caller allowed everything, for the tests of what the operations do rather than of who may.
inline Caller full_rights() { return Caller{.user = "tester", .system_access = true, .rights = all_rights(), .password_hash = {}}; }

// The tree of a model given as JSON text (throws on a load error).
inline std::unique_ptr<Node> model_tree(const char* model) {
  std::string error;
  auto root = load_model(k::json_parse(model).get(), error);
  return root ? std::move(root) : throw std::runtime_error("test model: " + error);
}

inline std::unique_ptr<Node> test_model_tree() { return model_tree(kTestModel); }

// A device built from the test model with a device mode (Router or Bridge) and a firmware version
// with the upgrade's parameters, keeping its state in `state_dir` ("" none).
inline DeviceSetup device_with_mode(std::string state_dir = {}) {
  auto factory = [](std::string& error) {
    k::Json model = k::json_parse(kTestModel);
    json_object_set_new(json_object_get(model.get(), "Device"), "DeviceInfo", json_loads(R"({
      "DeviceMode": {"#attr": {"type": "enum", "access": "readWrite", "enum": ["Router", "Bridge"], "default": "Router"}},
      "SoftwareVersion": {"#attr": {"type": "string", "access": "readOnly", "default": "1.0.0"}},
      "UpgradeProgress": {"#attr": {"type": "unsignedInt", "access": "readOnly", "runtime": true, "maxInclusive": 100, "default": 0}},
      "UpgradeStatus": {"#attr": {"type": "int", "access": "readOnly", "runtime": true, "default": 0}}
    })", 0, nullptr));
    return load_model(model.get(), error);
  };
  return DeviceSetup{factory, std::move(state_dir)};
}

// A ParameterList given as JSON ([{"Name": ..., "Value": ...}, ...]) as the engine takes it.
inline std::vector<NamedValue> members(const char* list_json) {
  std::vector<NamedValue> out;
  k::Json list = k::json_parse(list_json);
  size_t i;
  json_t* m;
  json_array_foreach(list.get(), i, m) {
    out.push_back({json_string_value(json_object_get(m, "Name")),
                   k::Json::borrow(json_object_get(m, "Value"))});
  }
  return out;
}

// A reply in brief: the fault code and data; "#N" for a new instance; or the ParameterList
// entries, each its name followed by "=value" (values) or "+"/"-" (names: writable or not).
inline std::string brief(const Reply& r) {
  if (!r.ok())
    return std::to_string(r.fault.code) +
           (r.fault.data ? " " + k::json_dump(r.fault.data.get(), JSON_COMPACT) : "");
  k::Json result = r.result_json();
  if (json_t* n = json_object_get(result.get(), "InstanceNumber"))
    return "#" + std::to_string(json_integer_value(n));
  std::string out;
  size_t i;
  json_t* e;
  json_array_foreach(json_object_get(result.get(), "ParameterList"), i, e) {
    out += (out.empty() ? "" : " ") + k::json_text(e, "Name");
    if (json_t* v = json_object_get(e, "Value"))
      out += "=" + k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY);
    if (json_t* w = json_object_get(e, "Writable")) out += json_is_true(w) ? "+" : "-";
  }
  return out;
}

// brief() of GetParameterValues of these paths.
inline std::string values(Engine& engine, const std::vector<std::string>& paths) {
  return brief(engine.get_parameter_values(full_rights(), paths, false));
}

// A caller with these rules ({path: letters}), logged in as `user` ("" a guest).
inline Caller with_rights(const char* user, const char* rules) {
  Caller c;
  c.user = user;
  std::string error;
  EXPECT_TRUE(parse_rights(k::json_parse(rules).get(), c.rights, error)) << error;
  return c;
}

}  // namespace sim::test
