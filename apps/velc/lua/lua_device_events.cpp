#include "lua/lua_device_events.h"

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lua/lua_device_call.h"
#include "lua/lua_json.h"

namespace {

constexpr const char* kListenerMeta = "norlan.device.listener";

// The listener userdata: the connection, none once closed.
k::Connection** listener_at(lua_State* L, int index) {
  return static_cast<k::Connection**>(luaL_checkudata(L, index, kListenerMeta));
}

// A new session identity for every listener, so that the events the client itself sends on
// its requests connection reach it (veld relays an event to every session but the sender's).
std::string listener_session(const void* listener) {
  char text[64];
  std::snprintf(text, sizeof text, "velc-lua-%ld-%p", static_cast<long>(getpid()), listener);
  return text;
}

struct Listen {
  std::vector<lua_Integer> groups;
  k::Connection** slot;
};

int open(lua_State* L, k::Connection& requests, const Listen& how) {
  auto c = std::make_unique<k::Connection>();
  c->set_destination(requests.destination());
  c->set_flags((requests.flags() & k::kFlagSsl) | k::kFlagReceiver);
  c->set_session_id(listener_session(how.slot));
  for (lua_Integer g : how.groups) {
    k::Message m = k::msg_join_group(static_cast<unsigned>(g));
    device_exchange(*c, m);
    if (m.kind != k::kMsgResult) return device_push_fault(L, m);
  }
  *how.slot = c.release();
  return 1;  // the listener, on top
}

// Protected: an event as {group = N, data = D}.
int push_event(lua_State* L, const void* data) {
  const auto& m = *static_cast<const k::Message*>(data);
  lua_createtable(L, 0, 2);
  lua_pushinteger(L, m.event_id);
  lua_setfield(L, -2, "group");
  if (m.params) {
    lua_push_json(L, m.params.get());
    lua_setfield(L, -2, "data");
  }
  return 1;
}

int push_nil(lua_State* L, const void*) {
  lua_pushnil(L);
  return 1;
}

// The next event within `timeout_ms` (-1: no limit), or nil.
int wait(lua_State* L, k::Connection& c, int64_t timeout_ms) {
  int64_t deadline = timeout_ms < 0 ? -1 : k::monotonic_ms() + timeout_ms;
  for (;;) {
    int64_t left = deadline < 0 ? -1 : std::max<int64_t>(0, deadline - k::monotonic_ms());
    c.set_timeout(static_cast<int>(std::min<int64_t>(left, INT32_MAX)));
    std::optional<k::Message> m = c.recv();
    if (!m) {
      int e = c.socket_err();
      if (e == k::kSockTimeout || e == k::kSockNoData || e == k::kSockTooLarge) {
        if (deadline >= 0 && k::monotonic_ms() >= deadline)
          return device_push(L, push_nil, nullptr);
        if (e != k::kSockTooLarge && left == 0) return device_push(L, push_nil, nullptr);
        continue;
      }
      k::Message failed;
      failed.fail_here(e);
      return device_push_fault(L, failed);
    }
    if (m->kind == k::kMsgEvent) return device_push(L, push_event, &*m);
  }
}

// listener:wait([timeout_ms]).
int l_wait(lua_State* L) {
  k::Connection** slot = listener_at(L, 1);
  lua_Integer timeout = luaL_optinteger(L, 2, -1);
  if (!*slot) return luaL_error(L, "norlan.device: the listener is closed");
  k::Connection* c = *slot;
  return device_finish(L, device_guarded([&] { return wait(L, *c, timeout); }));
}

// listener:close() and the collector: the connection goes.
int l_close(lua_State* L) {
  k::Connection** slot = listener_at(L, 1);
  delete *slot;
  *slot = nullptr;
  return 0;
}

const luaL_Reg kMethods[] = {{"wait", l_wait}, {"close", l_close}, {nullptr, nullptr}};

}  // namespace

int lua_device_listen(lua_State* L) {
  k::Connection* requests = &device_connection(L);
  int n = lua_gettop(L);
  luaL_argcheck(L, n > 0, 1, "an event group expected");
  for (int i = 1; i <= n; ++i) {
    lua_Integer g = luaL_checkinteger(L, i);
    luaL_argcheck(L, g >= 0 && g <= UINT32_MAX, i, "an event group is 0 to 4294967295");
  }
  auto** slot = static_cast<k::Connection**>(lua_newuserdata(L, sizeof(k::Connection*)));
  *slot = nullptr;
  if (luaL_newmetatable(L, kListenerMeta)) {
    luaL_newlib(L, kMethods);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, l_close);
    lua_setfield(L, -2, "__gc");
  }
  lua_setmetatable(L, -2);
  return device_finish(L, device_guarded([&] {
    Listen how;
    for (int i = 1; i <= n; ++i) how.groups.push_back(lua_tointeger(L, i));
    how.slot = slot;
    return open(L, *requests, how);
  }));
}
