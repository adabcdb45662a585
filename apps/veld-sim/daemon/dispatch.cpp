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

// The device-wide methods and Select.
std::optional<Reply> dispatch_device(Engine& engine, const Caller& caller,
                                     const std::string& method, json_t* params) {
  std::optional<std::string> mode;
  if (method == "Reboot") {
    bool force = false;
    if (!opt_bool(params, "Force", force) || !opt_text(params, "DeviceMode", mode))
      return bad_params("expects Force (boolean) and DeviceMode (text), both optional");
    return engine.reboot(caller, mode, force);
  }
  if (method == "FactoryReset") {
    if (!opt_text(params, "DeviceMode", mode))
      return bad_params("expects DeviceMode (text), optional");
    return engine.factory_reset(caller, mode);
  }
  if (method == "SaveConfig") {
    std::optional<std::string> name;
    if (!opt_text(params, "RestorePointName", name))
      return bad_params("expects RestorePointName (text), optional");
    return engine.save_config(caller, name);
  }
  if (method == "Select") {
    std::string selector;
    if (!text_member(params, "Selector", selector)) return bad_params("expects Selector (text)");
    return engine.select(caller, selector);
  }
  return std::nullopt;
}

}  // namespace

bool opt_text(json_t* params, const char* key, std::optional<std::string>& out) {
  json_t* v = json_object_get(params, key);
  if (!v) return true;
  if (!json_is_string(v)) return false;
  out.emplace(json_string_value(v), json_string_length(v));
  return true;
}

bool read_named_values(json_t* list, std::vector<NamedValue>& out) {
  if (!json_is_array(list)) return false;
  size_t i;
  json_t* e;
  json_array_foreach(list, i, e) {
    json_t* name = json_object_get(e, "Name");
    json_t* value = json_object_get(e, "Value");
    if (!json_is_string(name) || !value) return false;
    out.push_back({std::string(json_string_value(name), json_string_length(name)),
                   k::Json::borrow(value)});
  }
  return true;
}

std::optional<Reply> dispatch(Engine& engine, const Caller& caller, const std::string& method,
                              json_t* params) {
  k::Json empty = k::Json::take(json_object());
  if (!params) params = empty.get();
  if (!json_is_object(params)) return bad_params("params must be an object");

  if (method == "GetParameterNames") {
    std::string path;
    bool next_level = false;
    if (!text_member(params, "ParameterPath", path) || !opt_bool(params, "NextLevel", next_level))
      return bad_params("expects ParameterPath (text) and NextLevel (boolean)");
    return engine.get_parameter_names(caller, path, next_level);
  }
  if (method == "GetParameterValues" || method == "GetParameterAttributes") {
    std::vector<std::string> names;
    bool ignore = false;
    if (!text_list(json_object_get(params, "ParameterNames"), names) ||
        !opt_bool(params, "IgnoreAccessError", ignore))
      return bad_params("expects ParameterNames (array of texts)");
    if (method == "GetParameterValues") return engine.get_parameter_values(caller, names, ignore);
    json_t* depth = json_object_get(params, "Depth");
    long long d = json_is_integer(depth) ? json_integer_value(depth) : 0;
    if ((depth && !json_is_integer(depth)) || d < -1 || d > 1)
      return bad_params("Depth must be 0, 1 or -1");
    return engine.get_parameter_attributes(caller, names, static_cast<int>(d), ignore);
  }
  if (method == "SetParameterValues" || method == "RawSetParameterValues") {
    std::vector<NamedValue> list;
    if (!read_named_values(json_object_get(params, "ParameterList"), list))
      return bad_params("expects ParameterList: [{\"Name\": text, \"Value\": value}, ...]");
    return engine.set_parameter_values(caller, list, method == "RawSetParameterValues");
  }
  if (method == "AddObject" || method == "DeleteObject") {
    std::string path;
    if (!text_member(params, "ObjectName", path)) return bad_params("expects ObjectName (text)");
    return method == "AddObject" ? engine.add_object(caller, path)
                                 : engine.delete_object(caller, path);
  }
  if (method == "ChangeOrder") {
    std::string path;
    json_t* order = json_object_get(params, "Order");
    if (!text_member(params, "ObjectName", path) || !json_is_integer(order))
      return bad_params("expects ObjectName (text) and Order (integer)");
    return engine.change_order(caller, path, json_integer_value(order));
  }
  if (method == "Execute") {
    std::string path;
    std::vector<NamedValue> args;
    json_t* list = json_object_get(params, "ParameterList");
    if (!text_member(params, "MethodName", path) || (list && !read_named_values(list, args)))
      return bad_params("expects MethodName (text) and an optional ParameterList");
    return engine.execute(caller, path, args);
  }
  return dispatch_device(engine, caller, method, params);
}

}  // namespace sim
