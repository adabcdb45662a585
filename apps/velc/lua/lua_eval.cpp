#include "lua/lua_eval.h"

#include <cstdio>
#include <string>

namespace {

constexpr char kChunkName[] = "stdin";

void print_error(lua_State* L, LuaPromptState& state) {
  const char* message = lua_tostring(L, -1);
  std::fprintf(state.err, "%s%s%s\n", state.colours ? "\x1b[0;31m" : "",
               message ? message : "(error object is not a string)",
               state.colours ? "\x1b[0m" : "");
  std::fflush(state.err);
}

}  // namespace

bool lua_message_is_incomplete(std::string_view message) {
  return message.size() >= 6 && message.ends_with("<eof>");
}

LuaEvalResult lua_eval_line(lua_State* L, std::string_view text, LuaPromptState& state,
                            bool* as_expression) {
  if (as_expression) *as_expression = false;
  if (!lua_checkstack(L, 2)) {
    std::fprintf(state.err, "%snot enough memory%s\n", state.colours ? "\x1b[0;31m" : "",
                 state.colours ? "\x1b[0m" : "");
    return kLuaEvalWrong;
  }
  // Typed text is never a precompiled chunk: binary chunks are refused ("t"), as scripts' are.
  std::string expression = "return " + std::string(text);
  if (luaL_loadbufferx(L, expression.data(), expression.size(), kChunkName, "t") == LUA_OK) {
    if (as_expression) *as_expression = true;
    lua_call_and_print(L, state);
    return kLuaEvalRun;
  }
  lua_pop(L, 1);
  const int status = luaL_loadbufferx(L, text.data(), text.size(), kChunkName, "t");
  if (status == LUA_ERRSYNTAX) {
    size_t n = 0;
    const char* message = lua_tolstring(L, -1, &n);
    if (message && lua_message_is_incomplete(std::string_view(message, n))) {
      lua_pop(L, 1);
      return kLuaEvalIncomplete;
    }
  }
  if (status != LUA_OK) {
    print_error(L, state);
    lua_pop(L, 1);
    return kLuaEvalWrong;
  }
  lua_call_and_print(L, state);
  return kLuaEvalRun;
}
