#include "daemon/dispatch.h"

namespace sim {

namespace {

Reply bad_params(const std::string& why) { return Reply::failure(kInvalidParams, why); }

// An optional boolean member; false when present with another type.
bool opt_bool(json_t* params, const char* key, bool& out) {
  json_t* v = json_object_get(params, key);
  if (!v) return true;
  if (!json_is_boolean(v)) return false;
  out = json_is_true(v);
  return true;
}

bool text_member(json_t* params, const char* key, std::string& out) {
  json_t* v = json_object_get(params, key);
  if (!json_is_string(v)) return false;
  out.assign(json_string_value(v), json_string_length(v));
  return true;
}

bool text_list(json_t* list, std::vector<std::string>& out) {
  if (!json_is_array(list)) return false;
  size_t i;
  json_t* v;
  json_array_foreach(list, i, v) {
    if (!json_is_string(v)) return false;
    out.emplace_back(json_string_value(v), json_string_length(v));
  }
  return true;
}

// A "ParameterList" of {"Name": text, "Value": any}; false when it has another shape.
bool read_named_values(json_t* list, std::vector<NamedValue>& out) {
  if (!json_is_array(list)) return false;
  size_t i;
  json_t* e;
  json_array_foreach(list, i, e) {
    json_t* name = json_object_get(e, "Name");
    json_t* value = json_object_get(e, "Value");
    if (!json_is_string(name) || !value) return false;
    out.push_back(
        {std::string(json_string_value(name), json_string_length(name)), k::Json::borrow(value)});
  }
  return true;
}

// "ParameterNames" and "IgnoreAccessError", as the Get methods take them.
bool read_names(json_t* params, std::vector<std::string>& names, bool& ignore) {
  return text_list(json_object_get(params, "ParameterNames"), names) &&
         opt_bool(params, "IgnoreAccessError", ignore);
}

Reply set_values(Engine& engine, const Call& call, json_t* params, bool raw) {
  std::vector<NamedValue> list;
  if (!read_named_values(json_object_get(params, "ParameterList"), list))
    return bad_params("expects ParameterList: [{\"Name\": text, \"Value\": value}, ...]");
  if (auto refused = call.refused()) return *refused;
  return engine.set_parameter_values(call.caller, list, raw);
}

}  // namespace

bool opt_text(json_t* params, const char* key, std::optional<std::string>& out) {
  json_t* v = json_object_get(params, key);
  if (!v) return true;
  if (!json_is_string(v)) return false;
  out.emplace(json_string_value(v), json_string_length(v));
  return true;
}

Reply get_parameter_names(Engine& engine, const Call& call, json_t* params) {
  std::string path;
  bool next_level = false;
  if (!text_member(params, "ParameterPath", path) || !opt_bool(params, "NextLevel", next_level))
    return bad_params("expects ParameterPath (text) and NextLevel (boolean)");
  if (auto refused = call.refused()) return *refused;
  return engine.get_parameter_names(call.caller, path, next_level);
}

Reply get_parameter_values(Engine& engine, const Call& call, json_t* params) {
  std::vector<std::string> names;
  bool ignore = false;
  if (!read_names(params, names, ignore))
    return bad_params("expects ParameterNames (array of texts)");
  if (auto refused = call.refused()) return *refused;
  return engine.get_parameter_values(call.caller, names, ignore);
}

Reply get_parameter_attributes(Engine& engine, const Call& call, json_t* params) {
  std::vector<std::string> names;
  bool ignore = false;
  if (!read_names(params, names, ignore))
    return bad_params("expects ParameterNames (array of texts)");
  json_t* depth = json_object_get(params, "Depth");
  long long d = json_is_integer(depth) ? json_integer_value(depth) : 0;
  if ((depth && !json_is_integer(depth)) || d < -1 || d > 1)
    return bad_params("Depth must be 0, 1 or -1");
  if (auto refused = call.refused()) return *refused;
  return engine.get_parameter_attributes(call.caller, names, static_cast<int>(d), ignore);
}

Reply set_parameter_values(Engine& engine, const Call& call, json_t* params) {
  return set_values(engine, call, params, false);
}

Reply raw_set_parameter_values(Engine& engine, const Call& call, json_t* params) {
  return set_values(engine, call, params, true);
}

Reply add_object(Engine& engine, const Call& call, json_t* params) {
  std::string path;
  if (!text_member(params, "ObjectName", path)) return bad_params("expects ObjectName (text)");
  if (auto refused = call.refused()) return *refused;
  return engine.add_object(call.caller, path);
}

Reply delete_object(Engine& engine, const Call& call, json_t* params) {
  std::string path;
  if (!text_member(params, "ObjectName", path)) return bad_params("expects ObjectName (text)");
  if (auto refused = call.refused()) return *refused;
  return engine.delete_object(call.caller, path);
}

Reply change_order(Engine& engine, const Call& call, json_t* params) {
  std::string path;
  json_t* order = json_object_get(params, "Order");
  if (!text_member(params, "ObjectName", path) || !json_is_integer(order))
    return bad_params("expects ObjectName (text) and Order (integer)");
  if (auto refused = call.refused()) return *refused;
  return engine.change_order(call.caller, path, json_integer_value(order));
}

Reply execute(Engine& engine, const Call& call, json_t* params) {
  std::string path;
  std::vector<NamedValue> args;
  json_t* list = json_object_get(params, "ParameterList");
  if (!text_member(params, "MethodName", path) || (list && !read_named_values(list, args)))
    return bad_params("expects MethodName (text) and an optional ParameterList");
  if (auto refused = call.refused()) return *refused;
  return engine.execute(call.caller, path, args);
}

Reply reboot(Engine& engine, const Call& call, json_t* params) {
  bool force = false;
  std::optional<std::string> mode;
  if (!opt_bool(params, "Force", force) || !opt_text(params, "DeviceMode", mode))
    return bad_params("expects Force (boolean) and DeviceMode (text), both optional");
  if (auto refused = call.refused()) return *refused;
  return engine.reboot(mode, force);
}

Reply factory_reset(Engine& engine, const Call& call, json_t* params) {
  std::optional<std::string> mode;
  if (!opt_text(params, "DeviceMode", mode))
    return bad_params("expects DeviceMode (text), optional");
  if (auto refused = call.refused()) return *refused;
  return engine.factory_reset(mode);
}

Reply save_config(Engine& engine, const Call& call, json_t* params) {
  std::optional<std::string> name;
  if (!opt_text(params, "RestorePointName", name))
    return bad_params("expects RestorePointName (text), optional");
  if (auto refused = call.refused()) return *refused;
  return engine.save_config(name);
}

Reply select(Engine& engine, const Call& call, json_t* params) {
  std::string selector;
  if (!text_member(params, "Selector", selector)) return bad_params("expects Selector (text)");
  if (auto refused = call.refused()) return *refused;
  return engine.select(call.caller, selector);
}

}  // namespace sim
