#include "lua/lua_device_call.h"

#include <string>
#include <utility>

#include "lua/lua_json.h"
#include "lua/lua_runner.h"

namespace {

// The registry name of the fault objects' metatable.
constexpr const char* kFaultMeta = "norlan.device.fault";

struct PushCall {
  int (*push)(lua_State*, const void*);
  const void* data;
};

// Protected: calls the pusher below its light userdata.
int run_push(lua_State* L) {
  const auto* call = static_cast<const PushCall*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  return call->push(L, call->data);
}

// __tostring of a fault: "[code] message: detail".
int fault_tostring(lua_State* L) {
  lua_getfield(L, 1, "code");
  lua_getfield(L, 1, "message");
  lua_getfield(L, 1, "detail");
  if (lua_isstring(L, 4))
    lua_pushfstring(L, "[%s] %s: %s", luaL_optstring(L, 2, "?"), luaL_optstring(L, 3, ""),
                    lua_tostring(L, 4));
  else
    lua_pushfstring(L, "[%s] %s", luaL_optstring(L, 2, "?"), luaL_optstring(L, 3, ""));
  return 1;
}

void set_text(lua_State* L, const char* key, const std::optional<std::string>& text) {
  if (!text) return;
  lua_pushlstring(L, text->data(), text->size());
  lua_setfield(L, -2, key);
}

// Protected: the fault object of a message.
int push_fault(lua_State* L, const void* data) {
  const auto& m = *static_cast<const k::Message*>(data);
  lua_createtable(L, 0, 4);
  lua_pushinteger(L, m.error_code);
  lua_setfield(L, -2, "code");
  set_text(L, "message", m.error_message);
  set_text(L, "detail", m.error_detail);
  if (m.error_data) {
    lua_push_json(L, m.error_data.get());
    lua_setfield(L, -2, "data");
  }
  if (luaL_newmetatable(L, kFaultMeta)) {
    lua_pushcfunction(L, fault_tostring);
    lua_setfield(L, -2, "__tostring");
  }
  lua_setmetatable(L, -2);
  return 1;
}

}  // namespace

int device_finish(lua_State* L, int result) {
  if (result == kDeviceInterrupted) return luaL_error(L, "interrupted!");
  if (result == kDeviceOutOfMemory) return luaL_error(L, "not enough memory");
  if (result < 0) return lua_error(L);
  return result;
}

int device_push(lua_State* L, int (*push)(lua_State*, const void*), const void* data) {
  if (!lua_checkstack(L, 2)) return kDeviceOutOfMemory;
  PushCall call{push, data};
  int base = lua_gettop(L);
  lua_pushcfunction(L, run_push);
  lua_pushlightuserdata(L, &call);
  // The collector rests while a reply becomes tables: all that is made stays reachable, and its
  // steps would only walk the growing tables again and again.
  bool collecting = lua_gc(L, LUA_GCISRUNNING, 0) != 0;
  lua_gc(L, LUA_GCSTOP, 0);
  int status = lua_pcall(L, 1, LUA_MULTRET, 0);
  if (collecting) lua_gc(L, LUA_GCRESTART, 0);
  if (status != LUA_OK) return -1;
  return lua_gettop(L) - base;
}

int device_exchange(k::Connection& c, k::Message& m, k::LargeReply* large) {
  return c.exec(m, -1, large);
}

int device_push_fault(lua_State* L, const k::Message& m) {
  int n = device_push(L, push_fault, &m);
  return n < 0 ? n : -1;
}

k::Connection& device_connection(lua_State* L) {
  k::LuaContext* ctx = k::LuaContext::of(L);
  if (!ctx || !ctx->messaging) luaL_error(L, "norlan.device: no connection to veld");
  return *ctx->messaging;
}

namespace {

// The message "bad argument #N to 'F' (what)".
struct BadArgument {
  int index;
  const char* function;
  std::string what;
};
int push_bad_argument(lua_State* L, const void* data) {
  const auto& b = *static_cast<const BadArgument*>(data);
  lua_pushfstring(L, "bad argument #%d to '%s' (%s)", b.index, b.function, b.what.c_str());
  return 1;
}

}  // namespace

int device_bad_argument(lua_State* L, int index, const char* function, std::string what) {
  BadArgument b{index, function, std::move(what)};
  int n = device_push(L, push_bad_argument, &b);
  return n < 0 ? n : -1;
}

std::string device_text_at(lua_State* L, int index) {
  size_t len = 0;
  const char* s = lua_tolstring(L, index, &len);  // a string (checked): no conversion
  return std::string(s, len);
}

std::string device_object_path_at(lua_State* L, int index) {
  std::string path = device_text_at(L, index);
  if (!path.ends_with('.')) path += '.';
  return path;
}

bool device_exchange_ok(lua_State* L, k::Connection& c, k::Message& m, int& status,
                        k::LargeReply* large) {
  device_exchange(c, m, large);
  if (m.kind == k::kMsgResult) return true;
  status = device_push_fault(L, m);
  return false;
}
