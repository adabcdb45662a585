// The data-model functions of norlan.device. Each C function checks its arguments (which may
// raise, holding nothing yet), then runs its C++ body under device_guarded: the body builds the
// request, exchanges it and pushes the results from plain data in a protected call.
#include "lua/lua_device.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lua/lua_device_call.h"
#include "lua/lua_device_events.h"
#include "lua/lua_device_values.h"
#include "lua/lua_json.h"
#include "platform/large_reply.h"

namespace {

// Protected: a JSON value as a Lua value.
int push_json_value(lua_State* L, const void* data) {
  lua_push_json(L, static_cast<json_t*>(const_cast<void*>(data)));
  return 1;
}

// Protected: the "Name" texts of a ParameterList as a sequence.
int push_names(lua_State* L, const void* data) {
  json_t* list = static_cast<json_t*>(const_cast<void*>(data));
  lua_createtable(L, static_cast<int>(std::min<size_t>(json_array_size(list), INT32_MAX)), 0);
  lua_Integer n = 0;
  size_t i;
  json_t* item;
  json_array_foreach(list, i, item) {
    json_t* name = json_object_get(item, "Name");
    if (!json_is_string(name)) continue;
    lua_pushlstring(L, json_string_value(name), json_string_length(name));
    lua_rawseti(L, -2, ++n);
  }
  return 1;
}

// Protected: true.
int push_true(lua_State* L, const void*) {
  lua_pushboolean(L, 1);
  return 1;
}

// get: the paths (a text, or a sequence of texts) -> table of values by full name.
int get(lua_State* L, k::Connection& c) {
  k::Message m;
  k::LargeReply large;
  if (int status = device_request_values(L, c, "get", m, large); status != 0) return status;
  std::vector<DeviceEntry> entries;
  device_for_each_entry(m, large, [&](DeviceEntry& e) { entries.push_back(std::move(e)); });
  return device_push(L, device_push_entries, &entries);
}


// names: path [, next_level] -> sequence of names.
int names(lua_State* L, k::Connection& c) {
  k::Message m = k::msg_get_parameter_names(device_text_at(L, 1), lua_toboolean(L, 2));
  int status = 0;
  if (!device_exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_names, json_object_get(m.result.get(), "ParameterList"));
}

// Reads a table name -> value (at `index`) as a ParameterList sorted by name; none after
// pushing the error.
k::Json parameter_list(lua_State* L, int index, const char* function, int& status) {
  std::vector<std::pair<std::string, k::Json>> members;
  lua_pushnil(L);
  while (lua_next(L, index) != 0) {
    std::string why;
    bool named = lua_type(L, -2) == LUA_TSTRING && k::json_str(device_text_at(L, -2));
    k::Json value = named ? lua_to_json(L, -1, why) : k::Json();
    std::string name = named ? device_text_at(L, -2) : std::string();
    lua_pop(L, 1);
    if (!named || !value) {
      lua_pop(L, 1);
      status = device_bad_argument(L, index, function,
                            named ? name + ": " + why : std::string("the names must be UTF-8 texts"));
      return {};
    }
    members.emplace_back(std::move(name), std::move(value));
  }
  std::sort(members.begin(), members.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  k::Json list = k::Json::take(json_array());
  for (auto& [name, value] : members) {
    json_t* item = json_object();
    json_object_set_new(item, "Name", json_stringn(name.data(), name.size()));
    json_object_set_new(item, "Value", value.release());
    json_array_append_new(list.get(), item);
  }
  return list;
}

// set: {path = value, ...}, or path, value -> true.
int set(lua_State* L, k::Connection& c) {
  int status = 0;
  k::Json list;
  if (lua_type(L, 1) == LUA_TSTRING) {
    std::string why;
    k::Json value = lua_to_json(L, 2, why);
    if (!value) return device_bad_argument(L, 2, "set", why);
    k::Json name = k::json_str(device_text_at(L, 1));
    if (!name) return device_bad_argument(L, 1, "set", "the names must be UTF-8 texts");
    list = k::Json::take(json_array());
    json_t* item = json_object();
    json_object_set_new(item, "Name", name.release());
    json_object_set_new(item, "Value", value.release());
    json_array_append_new(list.get(), item);
  } else {
    list = parameter_list(L, 1, "set", status);
    if (!list) return status;
  }
  k::Message m = k::msg_set_parameter_values(std::move(list));
  if (!device_exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_true, nullptr);
}

// Protected: the integer in data.
int push_integer(lua_State* L, const void* data) {
  lua_pushinteger(L, *static_cast<const lua_Integer*>(data));
  return 1;
}

// add: table path -> instance number.
int add(lua_State* L, k::Connection& c) {
  k::Message m = k::msg_add_object(device_object_path_at(L, 1));
  int status = 0;
  if (!device_exchange_ok(L, c, m, status)) return status;
  lua_Integer n = json_integer_value(json_object_get(m.result.get(), "InstanceNumber"));
  return device_push(L, push_integer, &n);
}

// del: instance path -> true.
int del(lua_State* L, k::Connection& c) {
  k::Message m = k::msg_delete_object(device_object_path_at(L, 1));
  int status = 0;
  if (!device_exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_true, nullptr);
}

// execute: method path [, {argument = value}] -> table of outputs.
int execute(lua_State* L, k::Connection& c) {
  int status = 0;
  k::Json list;
  if (lua_type(L, 2) == LUA_TTABLE) {
    list = parameter_list(L, 2, "execute", status);
    if (!list) return status;
  }
  std::string method = device_text_at(L, 1);
  while (method.ends_with('.')) method.pop_back();
  k::Message m = k::msg_execute(method, std::move(list));
  if (!device_exchange_ok(L, c, m, status)) return status;
  std::vector<DeviceEntry> entries = device_entries_of(json_object_get(m.result.get(), "ParameterList"));
  return device_push(L, device_push_entries, &entries);
}

// request: method [, params table] -> the result as a Lua value.
int request(lua_State* L, k::Connection& c) {
  k::Json params;
  if (lua_type(L, 2) == LUA_TTABLE) {
    std::string why;
    params = lua_to_json(L, 2, why);
    if (!params) return device_bad_argument(L, 2, "request", why);
    if (json_is_array(params.get()) && json_array_size(params.get()) == 0)
      params = k::Json::take(json_object());  // {} are params, not an array
  }
  k::Message m = k::msg_create(device_text_at(L, 1), std::move(params));
  int status = 0;
  if (!device_exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_json_value, m.result.get());
}

// The C functions: arguments checked, then the body, guarded.
template <int (*Body)(lua_State*, k::Connection&)>
int guarded(lua_State* L) {
  k::Connection* c = &device_connection(L);
  return device_finish(L, device_guarded([&] { return Body(L, *c); }));
}

int l_get(lua_State* L) {
  if (lua_type(L, 1) != LUA_TTABLE) luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<get>(L);
}
int l_tree(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  lua_settop(L, 1);
  size_t len = 0;
  const char* path = lua_tolstring(L, 1, &len);
  if (len == 0 || path[len - 1] != '.') {  // an object path either way
    lua_pushfstring(L, "%s.", path);
    lua_replace(L, 1);
  }
  return guarded<device_tree>(L);
}
int l_names(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<names>(L);
}
int l_set(lua_State* L) {
  if (lua_type(L, 1) == LUA_TSTRING)
    luaL_checkany(L, 2);
  else
    luaL_checktype(L, 1, LUA_TTABLE);
  return guarded<set>(L);
}
int l_add(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<add>(L);
}
int l_del(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<del>(L);
}
int l_execute(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TTABLE);
  return guarded<execute>(L);
}
int l_request(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TTABLE);
  return guarded<request>(L);
}

const luaL_Reg kFunctions[] = {
    {"get", l_get},         {"tree", l_tree},       {"names", l_names},     {"set", l_set},
    {"add", l_add},         {"del", l_del},         {"execute", l_execute},
    {"request", l_request}, {"listen", lua_device_listen}, {nullptr, nullptr},
};

int luaopen_velc_device(lua_State* L) {
  luaL_newlib(L, kFunctions);
  lua_pushlightuserdata(L, nullptr);
  lua_setfield(L, -2, "null");
  return 1;
}

// Protected: package.preload["velc.device"].
int register_preload(lua_State* L) {
  luaL_getsubtable(L, LUA_REGISTRYINDEX, LUA_PRELOAD_TABLE);
  lua_pushcfunction(L, luaopen_velc_device);
  lua_setfield(L, -2, "velc.device");
  return 0;
}

}  // namespace

int lua_device_register(lua_State* L) {
  if (!lua_checkstack(L, 1)) return -1;
  lua_pushcfunction(L, register_preload);
  if (lua_pcall(L, 0, 0, 0) == LUA_OK) return 0;
  lua_pop(L, 1);
  return -1;
}
