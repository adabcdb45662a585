#include "lua/lua_device_values.h"

#include <utility>

#include "lua/lua_device_call.h"
#include "lua/lua_json.h"

void device_push_value(lua_State* L, const DeviceEntry& e) {
  switch (e.kind) {
    case k::ReplyValue::kString: lua_pushlstring(L, e.text.data(), e.text.size()); break;
    case k::ReplyValue::kInteger: lua_pushinteger(L, e.integer); break;
    case k::ReplyValue::kReal: lua_pushnumber(L, e.real); break;
    case k::ReplyValue::kTrue: lua_pushboolean(L, 1); break;
    case k::ReplyValue::kFalse: lua_pushboolean(L, 0); break;
    case k::ReplyValue::kNull: lua_pushlightuserdata(L, nullptr); break;
    default: lua_push_json(L, e.json.get()); break;
  }
}

int device_push_entries(lua_State* L, const void* data) {
  const auto& entries = *static_cast<const std::vector<DeviceEntry>*>(data);
  lua_createtable(L, 0, static_cast<int>(std::min<size_t>(entries.size(), INT32_MAX)));
  for (const DeviceEntry& e : entries) {
    lua_pushlstring(L, e.name.data(), e.name.size());
    device_push_value(L, e);
    lua_rawset(L, -3);
  }
  return 1;
}

std::vector<DeviceEntry> device_entries_of(json_t* list) {
  std::vector<DeviceEntry> entries;
  entries.reserve(json_array_size(list));
  size_t i;
  json_t* item;
  json_array_foreach(list, i, item) {
    json_t* name = json_object_get(item, "Name");
    json_t* value = json_object_get(item, "Value");
    if (!json_is_string(name) || !value) continue;
    DeviceEntry e;
    e.name = std::string_view(json_string_value(name), json_string_length(name));
    e.kind = k::ReplyValue::kComposite;
    e.json = k::Json::borrow(value);
    entries.push_back(std::move(e));
  }
  return entries;
}

int device_request_values(lua_State* L, k::Connection& c, const char* function, k::Message& m,
                   k::LargeReply& large) {
  k::Json names = k::Json::take(json_array());
  bool one = lua_type(L, 1) == LUA_TSTRING;
  size_t n = one ? 1 : lua_rawlen(L, 1);
  for (size_t i = 1; i <= n; ++i) {
    if (!one) lua_rawgeti(L, 1, static_cast<lua_Integer>(i));
    bool text = lua_type(L, -1) == LUA_TSTRING;
    k::Json path = text ? k::json_str(device_text_at(L, -1)) : k::Json();
    if (!one) lua_pop(L, 1);
    if (!path) return device_bad_argument(L, 1, function, "the paths must be UTF-8 texts");
    json_array_append_new(names.get(), path.release());
  }
  m = k::msg_get_parameter_values(std::move(names));
  int status = 0;
  device_exchange_ok(L, c, m, status, &large);
  return status;
}

void device_for_each_entry(const k::Message& m, const k::LargeReply& large,
                    const std::function<void(DeviceEntry&)>& fn) {
  if (m.result) {
    for (DeviceEntry& e : device_entries_of(json_object_get(m.result.get(), "ParameterList"))) fn(e);
    return;
  }
  large.for_each_parameter([&](std::string_view name, const k::ReplyValue& v) {
    if (v.kind == k::ReplyValue::kAbsent) return;
    DeviceEntry e;
    e.name = name;
    e.kind = v.kind;
    e.text = v.string;
    e.integer = v.integer;
    e.real = v.real;
    if (v.kind == k::ReplyValue::kComposite) e.json = k::json_parse(v.json);
    fn(e);
  });
}
