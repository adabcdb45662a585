#include "lua/lua_call.h"
#include "lua/lua_eval.h"

#include <gtest/gtest.h>

#include "render/test_drain.h"

namespace {

// The trace of an error raised by the main chunk's first line.
const std::string kTrace =
    "\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n"
    "\t#2 [string \"stdin\"]:1: in the main chunk\n\n";

// A Lua state whose prompt state prints into temporary files.
class LuaCall : public ::testing::Test {
 protected:
  LuaCall() { luaL_openlibs(L); }
  ~LuaCall() override { lua_close(L); }

  // Loads `code` as the chunk "stdin" and runs it with lua_call_and_print.
  int run(const std::string& code) {
    EXPECT_EQ(luaL_loadbufferx(L, code.data(), code.size(), "stdin", nullptr), LUA_OK) << code;
    const int top = lua_gettop(L);
    const int status = lua_call_and_print(L, state);
    EXPECT_EQ(lua_gettop(L), top - 1) << code;  // the chunk and its results are gone
    return status;
  }

  lua_State* L = luaL_newstate();
  TestStream out, err;
  LuaPromptState state{.out = out.file, .err = err.file};
};

// Results are numbered across statements and kept in the results table; an error prints
// nothing on the output and numbers nothing.
TEST_F(LuaCall, NumbersAndKeepsResultsAcrossStatements) {
  EXPECT_EQ(run("return 1, 'a'"), LUA_OK);
  EXPECT_EQ(run("x = 5"), LUA_OK);  // no results, no lines
  EXPECT_EQ(run("return {x}, nil"), LUA_OK);
  EXPECT_EQ(run("error('no', 0)"), LUA_ERRRUN);
  EXPECT_EQ(run("return 7"), LUA_OK);
  EXPECT_EQ(drain(state.out), "_[1] = 1\n_[2] = \"a\"\n_[3] = { 5,  }\n_[4] = nil\n_[5] = 7\n");
  EXPECT_EQ(state.completion_state, L);
  ASSERT_TRUE(lua_push_results(L, state));
  ASSERT_EQ(luaL_loadstring(L, "local r = ... return r[2] .. r[3][1] .. tostring(r[4]) .. r[5]"), LUA_OK);
  lua_insert(L, -2);
  lua_call(L, 1, 1);
  EXPECT_STREQ(lua_tostring(L, -1), "a5nil7");
  lua_settop(L, 0);
}

TEST_F(LuaCall, ReportsErrorsWithTheirStackTrace) {
  const std::pair<const char*, std::string> cases[] = {
      {"local function f()\n  error('deep', 0)\nend\nf()",
       "deep\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n"
       "\t#2 [string \"stdin\"]:2: in function 'f'\n\t#3 [string \"stdin\"]:4: in the main chunk\n\n"},
      {"local function g() error('t', 0) end\nlocal function f() return g() end\nf()",
       "t\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n\t... tail calls\n"
       "\t#2 [string \"stdin\"]:1: in function ?\n\t#3 [string \"stdin\"]:3: in the main chunk\n\n"},
      // Error objects that are no text: their message, then the trace.
      {"error({})", "(no error message)" + kTrace},
      {"error(setmetatable({}, {__tostring = function() return 'obj' end}))", "obj" + kTrace},
  };
  for (const auto& [code, report] : cases) {
    EXPECT_EQ(run(code), LUA_ERRRUN) << code;
    EXPECT_EQ(drain(state.err), report) << code;
    EXPECT_EQ(drain(state.out), "") << code;
  }
  // In colour, the error is red with the places of its trace in bold.
  state.colours = true;
  EXPECT_EQ(run("error('boom')"), LUA_ERRRUN);
  EXPECT_EQ(drain(state.err),
            "\x1b[0;31m[string \"stdin\"]:1: boom\n\nStack trace:\n\t#0 \x1b[1m[C]:\x1b[22m in function \x1b[1m?\x1b[22m\n"
            "\t#1 \x1b[1m[C]:\x1b[22m in function '\x1b[1merror\x1b[22m'\n"
            "\t#2 \x1b[1m[string \"stdin\"]:1:\x1b[22m in the main chunk\n\x1b[0m\n");
}

// A line of the Lua shell is an expression that prints its values, a statement, incomplete
// (more lines wanted) or wrong (its message printed); a runtime error is a statement that ran.
TEST_F(LuaCall, EvalLineIncompleteWrongOrRun) {
  const struct { const char* text; LuaEvalResult result; const char* out; std::string err; } cases[] = {
      {"1+1", kLuaEvalRun, "_[1] = 2\n", ""}, {"x = 1", kLuaEvalRun, "", ""},
      {"x, 'a'", kLuaEvalRun, "_[2] = 1\n_[3] = \"a\"\n", ""},
      {"for i = 1, 2 do\nlocal y = i", kLuaEvalIncomplete, "", ""}, {"s = [[long", kLuaEvalIncomplete, "", ""},
      {"s = 'open", kLuaEvalIncomplete, "", ""},  // the string goes on to the end of the text
      {"s = 'open\nx'", kLuaEvalWrong, "", "[string \"stdin\"]:1: unfinished string near ''open'\n"},
      {"end", kLuaEvalWrong, "", "[string \"stdin\"]:1: <eof> expected near 'end'\n"},
      {"\x1bLua", kLuaEvalWrong, "", "attempt to load a binary chunk (mode is 't')\n"},
      {"error('boom', 0)", kLuaEvalRun, "", "boom" + kTrace},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lua_eval_line(L, c.text, state), c.result) << c.text;
    EXPECT_EQ(drain(state.out), c.out) << c.text;
    EXPECT_EQ(drain(state.err), c.err) << c.text;
    EXPECT_EQ(lua_gettop(L), 0) << c.text;
  }
  EXPECT_FALSE(lua_message_is_incomplete("<eof>"));  // too short to be a message
  EXPECT_FALSE(lua_message_is_incomplete("stdin:1: '<eof>' expected near 'end'"));
}

// The protected call keeps what lies below the function and all its results.
TEST_F(LuaCall, ProtectedCallPassesArgumentsAndKeepsAllResults) {
  ASSERT_EQ(luaL_dostring(L, "function pair(a, b) return b, a, a + b end"), LUA_OK);
  lua_pushinteger(L, 99);
  for (int args : {2, 1}) {  // with one argument: 1 + nil fails
    lua_getglobal(L, "pair");
    for (int i = 1; i <= args; ++i) lua_pushinteger(L, i);
    EXPECT_EQ(lua_protected_call(L, args, state), args == 2 ? LUA_OK : LUA_ERRRUN);
  }
  std::string stack;
  for (int i = 1; i <= lua_gettop(L); ++i) stack += std::to_string(lua_tointeger(L, i)) + " ";
  EXPECT_EQ(stack, "99 2 1 3 ");
  EXPECT_NE(drain(state.err).find("attempt to perform arithmetic on a nil value (local 'b')"), std::string::npos);
}

}  // namespace
