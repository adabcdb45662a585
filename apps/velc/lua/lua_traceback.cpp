#include "lua/lua_traceback.h"

#include <string_view>

namespace {

// Pieces pushed before they are joined: keeps the stack small on a very deep trace.
constexpr int kPiecesPerJoin = 32;

int traceback(lua_State* L, const char* bold, const char* unbold) {
  lua_settop(L, 1);
  bool replace = false;
  if (lua_isnil(L, 1)) {
    lua_pushliteral(L, "(no error message)");
    replace = true;
  } else if (!lua_isstring(L, 1)) {
    if (!luaL_callmeta(L, 1, "__tostring")) lua_pushliteral(L, "(no error message)");
    replace = true;
  }
  if (replace) {
    lua_replace(L, 1);
    lua_settop(L, 1);
  }
  lua_pushliteral(L, "\n\nStack trace:\n");

  lua_Debug ar;
  int level = 0;
  for (; lua_getstack(L, level, &ar); ++level) {
    luaL_checkstack(L, 4, "stack trace too deep");
    lua_getinfo(L, "Snlt", &ar);
    if (ar.istailcall) lua_pushliteral(L, "\t... tail calls\n");
    const std::string_view what = ar.what ? ar.what : "";
    if (what == "C") {
      lua_pushfstring(L, "\t#%d %s[C]:%s in function ", level, bold, unbold);
    } else if (what == "main") {
      lua_pushfstring(L, "\t#%d %s%s:%d:%s in the main chunk\n", level, bold, ar.short_src,
                      ar.currentline, unbold);
      continue;
    } else if (what == "Lua") {
      lua_pushfstring(L, "\t#%d %s%s:%d:%s in function ", level, bold, ar.short_src,
                      ar.currentline, unbold);
    } else {
      continue;
    }
    if (ar.name)
      lua_pushfstring(L, "'%s%s%s'\n", bold, ar.name, unbold);
    else
      lua_pushfstring(L, "%s?%s\n", bold, unbold);
    if (lua_gettop(L) > kPiecesPerJoin) lua_concat(L, lua_gettop(L) - 1);  // keeps the message apart
  }
  if (level == 0) lua_pushliteral(L, "No activation records.\n");
  lua_concat(L, lua_gettop(L));
  return 1;
}

}  // namespace

int lua_traceback(lua_State* L) { return traceback(L, "", ""); }

int lua_traceback_bold(lua_State* L) { return traceback(L, "\x1b[1m", "\x1b[22m"); }
