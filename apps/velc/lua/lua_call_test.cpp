#include "lua/lua_call.h"

#include <gtest/gtest.h>

#include <string>

#include "render/test_drain.h"

namespace {

class LuaCall : public ::testing::Test {
 protected:
  LuaCall() : L(luaL_newstate()) {
    luaL_openlibs(L);
    state.out = std::tmpfile();
    state.err = std::tmpfile();
  }
  ~LuaCall() override {
    lua_close(L);
    std::fclose(state.out);
    std::fclose(state.err);
  }

  // Loads `code` as the chunk "stdin" and runs it with lua_call_and_print.
  int run(const std::string& code) {
    EXPECT_EQ(luaL_loadbufferx(L, code.data(), code.size(), "stdin", nullptr), LUA_OK) << code;
    const int top = lua_gettop(L);
    const int status = lua_call_and_print(L, state);
    EXPECT_EQ(lua_gettop(L), top - 1) << code;  // the chunk and its results are gone
    return status;
  }

  lua_State* L;
  LuaPromptState state;
};

TEST_F(LuaCall, NumbersAndKeepsResultsAcrossStatements) {
  EXPECT_EQ(run("return 1, 'a'"), LUA_OK);
  EXPECT_EQ(drain(state.out), "_[1] = 1\n_[2] = \"a\"\n");
  EXPECT_EQ(run("x = 5"), LUA_OK);  // no results, no lines
  EXPECT_EQ(drain(state.out), "");
  EXPECT_EQ(run("return {x}, nil"), LUA_OK);
  EXPECT_EQ(drain(state.out), "_[3] = { 5,  }\n_[4] = nil\n");
  EXPECT_EQ(state.result_counter, 4);
  EXPECT_EQ(drain(state.err), "");
  EXPECT_EQ(state.completion_state, L);

  // The results table holds every printed value under its number.
  ASSERT_TRUE(lua_push_results(L, state));
  EXPECT_EQ(lua_rawlen(L, -1), 3u);  // [4] is nil
  lua_rawgeti(L, -1, 2);
  EXPECT_STREQ(lua_tostring(L, -1), "a");
  lua_rawgeti(L, -2, 3);
  lua_rawgeti(L, -1, 1);
  EXPECT_EQ(lua_tointeger(L, -1), 5);
  lua_settop(L, 0);

  // An error prints nothing on stdout and numbers nothing.
  EXPECT_EQ(run("error('no', 0)"), LUA_ERRRUN);
  EXPECT_EQ(drain(state.out), "");
  EXPECT_EQ(state.result_counter, 4);
  EXPECT_EQ(run("return 7"), LUA_OK);
  EXPECT_EQ(drain(state.out), "_[5] = 7\n");
}

TEST_F(LuaCall, ReportsErrorsWithTheirStackTrace) {
  const std::pair<const char*, std::string> cases[] = {
      {"error('boom')",
       "[string \"stdin\"]:1: boom\n\nStack trace:\n"
       "\t#0 [C]: in function ?\n"
       "\t#1 [C]: in function 'error'\n"
       "\t#2 [string \"stdin\"]:1: in the main chunk\n\n"},
      {"local function f()\n  error('deep', 0)\nend\nf()",
       "deep\n\nStack trace:\n"
       "\t#0 [C]: in function ?\n"
       "\t#1 [C]: in function 'error'\n"
       "\t#2 [string \"stdin\"]:2: in function 'f'\n"
       "\t#3 [string \"stdin\"]:4: in the main chunk\n\n"},
      {"local function g() error('t', 0) end\nlocal function f() return g() end\nf()",
       "t\n\nStack trace:\n"
       "\t#0 [C]: in function ?\n"
       "\t#1 [C]: in function 'error'\n"
       "\t... tail calls\n"
       "\t#2 [string \"stdin\"]:1: in function ?\n"
       "\t#3 [string \"stdin\"]:3: in the main chunk\n\n"},
  };
  for (const auto& [code, report] : cases) {
    EXPECT_EQ(run(code), LUA_ERRRUN) << code;
    EXPECT_EQ(drain(state.err), report) << code;
    EXPECT_EQ(drain(state.out), "") << code;
  }
  // Error objects that are no text: the message, then the same trace.
  const std::string trace =
      "\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n"
      "\t#2 [string \"stdin\"]:1: in the main chunk\n\n";
  const std::pair<const char*, const char*> objects[] = {
      {"error({})", "(no error message)"},
      {"error()", "(no error message)"},
      {"error(setmetatable({}, {__tostring = function() return 'obj' end}))", "obj"},
      {"error(42, 0)", "42"},
  };
  for (const auto& [code, message] : objects) {
    EXPECT_EQ(run(code), LUA_ERRRUN) << code;
    EXPECT_EQ(drain(state.err), message + trace) << code;
  }
}

TEST_F(LuaCall, ColoursResultsAndErrorsWhenOn) {
  state.colours = true;
  EXPECT_EQ(run("return 1, {a = true}"), LUA_OK);
  // Rendered values carry no bold of their own; the line is green.
  EXPECT_EQ(drain(state.out),
            "\x1b[1;32m_[1]\x1b[0;32m = 1\x1b[0m\n"
            "\x1b[1;32m_[2]\x1b[0;32m = { \n  a = true,\n}\x1b[0m\n");
  EXPECT_EQ(run("error('boom')"), LUA_ERRRUN);
  EXPECT_EQ(drain(state.err),
            "\x1b[0;31m[string \"stdin\"]:1: boom\n\nStack trace:\n"
            "\t#0 \x1b[1m[C]:\x1b[22m in function \x1b[1m?\x1b[22m\n"
            "\t#1 \x1b[1m[C]:\x1b[22m in function '\x1b[1merror\x1b[22m'\n"
            "\t#2 \x1b[1m[string \"stdin\"]:1:\x1b[22m in the main chunk\n\x1b[0m\n");
}

TEST_F(LuaCall, ProtectedCallPassesArgumentsAndKeepsAllResults) {
  ASSERT_EQ(luaL_dostring(L, "function pair(a, b) return b, a, a + b end"), LUA_OK);
  lua_pushinteger(L, 99);  // something below, which must stay
  lua_getglobal(L, "pair");
  lua_pushinteger(L, 1);
  lua_pushinteger(L, 2);
  EXPECT_EQ(lua_protected_call(L, 2, state), LUA_OK);
  ASSERT_EQ(lua_gettop(L), 4);
  EXPECT_EQ(lua_tointeger(L, 1), 99);
  EXPECT_EQ(lua_tointeger(L, 2), 2);
  EXPECT_EQ(lua_tointeger(L, 3), 1);
  EXPECT_EQ(lua_tointeger(L, 4), 3);
  lua_settop(L, 1);
  lua_getglobal(L, "pair");
  lua_pushinteger(L, 1);
  EXPECT_EQ(lua_protected_call(L, 1, state), LUA_ERRRUN);  // 1 + nil
  EXPECT_EQ(lua_gettop(L), 1);
  EXPECT_NE(drain(state.err).find("attempt to perform arithmetic on a nil value (local 'b')"),
            std::string::npos);
}

}  // namespace
