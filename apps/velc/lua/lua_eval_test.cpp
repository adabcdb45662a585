#include "lua/lua_eval.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "render/test_drain.h"

namespace {

TEST(LuaEval, IncompleteWrongOrRun) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  LuaPromptState state;
  state.out = std::tmpfile();
  state.err = std::tmpfile();
  const struct {
    const char* text;
    LuaEvalResult result;
    const char* out;
    const char* err;
  } cases[] = {
      {"1+1", kLuaEvalRun, "_[1] = 2\n", ""},  // an expression prints its value
      {"x = 1", kLuaEvalRun, "", ""},          // a statement prints nothing
      {"x, 'a'", kLuaEvalRun, "_[2] = 1\n_[3] = \"a\"\n", ""},
      {"for i = 1, 2 do\nlocal y = i", kLuaEvalIncomplete, "", ""},
      {"s = [[long", kLuaEvalIncomplete, "", ""}, {"s = 'open", kLuaEvalIncomplete, "", ""},
      {"s = 'open\nx'", kLuaEvalWrong, "", "[string \"stdin\"]:1: unfinished string near ''open'\n"},
      {"end", kLuaEvalWrong, "", "[string \"stdin\"]:1: <eof> expected near 'end'\n"},
      {"\x1bLua", kLuaEvalWrong, "", "attempt to load a binary chunk (mode is 't')\n"},
      // A runtime error is a statement that ran: its message and trace went out.
      {"error('boom')", kLuaEvalRun, "", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lua_eval_line(L, c.text, state), c.result) << c.text;
    EXPECT_EQ(drain(state.out), c.out) << c.text;
    std::string err = drain(state.err);
    if (c.err) EXPECT_EQ(err, c.err) << c.text;
    else EXPECT_NE(err.find("boom\n\nStack trace:\n"), std::string::npos) << err;
    EXPECT_EQ(lua_gettop(L), 0) << c.text;
  }
  EXPECT_FALSE(lua_message_is_incomplete("<eof>"));  // too short to be a message
  EXPECT_FALSE(lua_message_is_incomplete("stdin:1: '<eof>' expected near 'end'"));
  lua_close(L);
  std::fclose(state.out);
  std::fclose(state.err);
}

}  // namespace
