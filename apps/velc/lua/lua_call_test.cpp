#include "lua/lua_call.h"
#include "lua/lua_eval.h"

#include <gtest/gtest.h>

#include "testing/test_stream.h"

namespace {

// The trace of an error raised by the main chunk's first line.
const std::string kTrace =
    "\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n"
    "\t#2 [string \"stdin\"]:1: in the main chunk\n\n";

// A Lua state whose prompt state prints into temporary files.
class LuaCall : public ::testing::Test {
 protected:
  LuaCall() { luaL_openlibs(L); state.out = out.file; state.err = err.file; }
  ~LuaCall() override { lua_close(L); }

  lua_State* L = luaL_newstate();
  TestStream out, err;
  LuaPromptState state;
};

// A line of the Lua shell is an expression that prints its values (numbered across lines, an
// error numbering nothing), a statement, incomplete (more lines wanted) or wrong (its message
// printed); a runtime error is a statement that ran, reported with its stack trace.
TEST_F(LuaCall, EvalLineNumbersResultsAndReportsErrors) {
  const struct { const char* text; LuaEvalResult result; const char* out; std::string err; } cases[] = {
      {"1+1", kLuaEvalRun, "_[1] = 2\n", ""}, {"x = 5", kLuaEvalRun, "", ""},
      {"x, 'a'", kLuaEvalRun, "_[2] = 5\n_[3] = \"a\"\n", ""},
      {"for i = 1, 2 do\nlocal y = i", kLuaEvalIncomplete, "", ""}, {"s = [[long", kLuaEvalIncomplete, "", ""},
      {"s = 'open", kLuaEvalIncomplete, "", ""},  // the string goes on to the end of the text
      {"s = 'open\nx'", kLuaEvalWrong, "", "[string \"stdin\"]:1: unfinished string near ''open'\n"},
      {"end", kLuaEvalWrong, "", "[string \"stdin\"]:1: <eof> expected near 'end'\n"},
      {"\x1bLua", kLuaEvalWrong, "", "attempt to load a binary chunk (mode is 't')\n"},
      {"error('boom', 0)", kLuaEvalRun, "", "boom" + kTrace}, {"do error({}) end", kLuaEvalRun, "", "(no error message)" + kTrace},
      {"do error(setmetatable({}, {__tostring = function() return 'obj' end})) end", kLuaEvalRun, "", "obj" + kTrace},
      {"local function f()\n  error('deep', 0)\nend\nf()", kLuaEvalRun, "",
       "deep\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n"
       "\t#2 [string \"stdin\"]:2: in function 'f'\n\t#3 [string \"stdin\"]:4: in the main chunk\n\n"},
      {"local function g() error('t', 0) end\nlocal function f() return g() end\nf()", kLuaEvalRun, "",
       "t\n\nStack trace:\n\t#0 [C]: in function ?\n\t#1 [C]: in function 'error'\n\t... tail calls\n"
       "\t#2 [string \"stdin\"]:1: in function ?\n\t#3 [string \"stdin\"]:3: in the main chunk\n\n"},
      {"{x}, nil", kLuaEvalRun, "_[4] = { 5,  }\n_[5] = nil\n", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lua_eval_line(L, c.text, state), c.result) << c.text;
    EXPECT_EQ(drain(state.out), c.out) << c.text;
    EXPECT_EQ(drain(state.err), c.err) << c.text;
    EXPECT_EQ(lua_gettop(L), 0) << c.text;
  }
  EXPECT_FALSE(lua_message_is_incomplete("<eof>"));  // too short to be a message
  EXPECT_FALSE(lua_message_is_incomplete("stdin:1: '<eof>' expected near 'end'"));
  // The results table holds every printed value under its number.
  EXPECT_EQ(state.completion_state, L);
  ASSERT_TRUE(lua_push_results(L, state));
  ASSERT_EQ(luaL_loadstring(L, "local r = ... return r[3] .. r[4][1] .. tostring(r[5])"), LUA_OK);
  lua_insert(L, -2);
  lua_call(L, 1, 1);
  EXPECT_STREQ(lua_tostring(L, -1), "a5nil");
  lua_settop(L, 0);
  // In colour, the error is red with the places of its trace in bold.
  state.colours = true;
  EXPECT_EQ(lua_eval_line(L, "error('boom')", state), kLuaEvalRun);
  EXPECT_EQ(drain(state.err),
            "\x1b[0;31m[string \"stdin\"]:1: boom\n\nStack trace:\n\t#0 \x1b[1m[C]:\x1b[22m in function \x1b[1m?\x1b[22m\n"
            "\t#1 \x1b[1m[C]:\x1b[22m in function '\x1b[1merror\x1b[22m'\n"
            "\t#2 \x1b[1m[string \"stdin\"]:1:\x1b[22m in the main chunk\n\x1b[0m\n");
}

}  // namespace
