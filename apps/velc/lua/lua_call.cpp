// Lua API calls that may raise (allocation in tables and the registry) run inside small C
// functions under lua_pcall, so that a Lua error never unwinds these C++ frames.
#include "lua/lua_call.h"

#include "lua/lua_printer.h"
#include "lua/lua_traceback.h"
#include "platform/interrupt.h"

namespace {

// Protected: makes a table and returns its registry reference.
int make_results(lua_State* L) {
  lua_newtable(L);
  lua_pushinteger(L, luaL_ref(L, LUA_REGISTRYINDEX));
  return 1;
}

// Protected: stores argument 2 in table 1 under the key of argument 3.
int store_result(lua_State* L) {
  lua_settop(L, 3);
  lua_pushvalue(L, 2);
  lua_rawseti(L, 1, lua_tointeger(L, 3));
  return 0;
}

}  // namespace

bool lua_push_results(lua_State* L, LuaPromptState& state) {
  if (!lua_checkstack(L, 2)) return false;
  if (state.results_ref == LUA_NOREF || state.results_ref == LUA_REFNIL) {
    lua_pushcfunction(L, make_results);
    if (lua_pcall(L, 0, 1, 0) != LUA_OK) {
      lua_pop(L, 1);
      return false;
    }
    state.results_ref = static_cast<int>(lua_tointeger(L, -1));
    lua_pop(L, 1);
  }
  lua_rawgeti(L, LUA_REGISTRYINDEX, state.results_ref);
  return true;
}

int lua_protected_call(lua_State* L, int nargs, LuaPromptState& state) {
  const int base = lua_gettop(L) - nargs;
  state.completion_state = L;
  if (!lua_checkstack(L, 1)) {
    lua_pop(L, nargs + 1);
    std::fprintf(state.err, "%snot enough memory%s\n", state.colours ? "\x1b[0;31m" : "",
                 state.colours ? "\x1b[0m" : "");
    std::fflush(state.err);
    return LUA_ERRMEM;
  }
  lua_pushcfunction(L, state.colours ? lua_traceback_bold : lua_traceback);
  lua_rotate(L, base, 1);
  const int status = lua_pcall(L, nargs, LUA_MULTRET, base);
  // A run stopped by Ctrl-C is no error of the statement: the caller reports the interrupt.
  if (status != LUA_OK && !k::g_interrupt_requested) {
    const char* message = lua_tostring(L, -1);
    std::fprintf(state.err, "%s%s%s\n", state.colours ? "\x1b[0;31m" : "",
                 message ? message : "(error object is not a string)",
                 state.colours ? "\x1b[0m" : "");
    std::fflush(state.err);
  }
  if (status != LUA_OK) lua_pop(L, 1);
  lua_rotate(L, base, -1);
  lua_pop(L, 1);
  return status;
}

int lua_call_and_print(lua_State* L, LuaPromptState& state) {
  if (!lua_push_results(L, state)) {
    lua_pop(L, 1);  // the chunk
    std::fprintf(state.err, "%snot enough memory%s\n", state.colours ? "\x1b[0;31m" : "",
                 state.colours ? "\x1b[0m" : "");
    std::fflush(state.err);
    return LUA_ERRMEM;
  }
  lua_rotate(L, -2, 1);  // the results table below the chunk
  const int b = lua_gettop(L);
  const int status = lua_protected_call(L, 0, state);
  const int top = lua_gettop(L);
  for (int i = b; i <= top; ++i) {
    const std::string& text = lua_value_to_text(L, i, state.buffer);
    ++state.result_counter;
    if (lua_checkstack(L, 4)) {
      lua_pushcfunction(L, store_result);
      lua_pushvalue(L, b - 1);
      lua_pushvalue(L, i);
      lua_pushinteger(L, state.result_counter);
      if (lua_pcall(L, 3, 0, 0) != LUA_OK) lua_pop(L, 1);  // out of memory: shown, not kept
    }
    std::fprintf(state.out, "%s_[%d]%s = ", state.colours ? "\x1b[1;32m" : "", state.result_counter,
                 state.colours ? "\x1b[0;32m" : "");
    std::fwrite(text.data(), 1, text.size(), state.out);
    std::fprintf(state.out, "%s\n", state.colours ? "\x1b[0m" : "");
    std::fflush(state.out);
  }
  lua_settop(L, b - 2);
  return status;
}
