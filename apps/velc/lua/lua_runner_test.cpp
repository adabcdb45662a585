#include "lua/lua_runner.h"

#include <gtest/gtest.h>

#include "testing/test_stream.h"

namespace {

// What a chunk prints goes to standard output, what it printed before an error included; the
// error text of a failed run carries the message (and, for a runtime error, a traceback) and is
// cleared by the next run; globals last from run to run.
TEST(LuaRunner, OutputErrorsAndGlobals) {
  // The chunk, what it prints, the beginning of the error text (empty: the run succeeds), and
  // whether the error has a traceback.
  const struct { const char* text; std::string out; std::string error; bool traceback; } cases[] = {
      {"n = 41 io.write('x', 1, 2.5, '\\0y') io.stdout:write('z')", std::string("x12.5\0yz", 8), "", false},
      {"print('before') error('boom')", "before\n", "[string \"print('before') error('boom')\"]:1: boom", true},
      {"n = n + 1 print(n, nil, true)", "42\tnil\ttrue\n", "", false},
      {"error(setmetatable({}, {__tostring = function() return 'obj' end}))", "", "obj", false},
      {"x = = 1", "", "[string \"x = = 1\"]:1: unexpected symbol near '='", false},
      {"\x1bLua", "", "attempt to load a binary chunk", false},
  };
  k::LuaContext ctx;
  EXPECT_EQ(k::LuaContext::of(ctx.state()), &ctx);
  TestStream out;
  ctx.set_output(out.file);
  for (const auto& c : cases) {
    EXPECT_EQ(ctx.exec(c.text) != 0, !c.error.empty()) << c.text;
    EXPECT_EQ(out.text(), c.out) << c.text;
    if (c.error.empty()) { EXPECT_EQ(ctx.error(), "") << c.text; }
    EXPECT_EQ(ctx.error().rfind(c.error, 0), 0u) << c.text << "\n" << ctx.error();
    EXPECT_EQ(ctx.error().find("stack traceback:") != std::string::npos, c.traceback) << ctx.error();
  }
}

// Given a stream, `print`, `io.write` and `io.stdout` write there; Lua cannot close it.
TEST(LuaRunner, OutputStream) {
  TestStream out;
  k::LuaContext ctx;
  ctx.set_output(out.file);
  EXPECT_EQ(ctx.exec("print(1, 'a') io.write('b') io.stdout:write('c') assert(not io.close()) "
                     "assert(not io.stdout:close()) io.output():write('d')"),
            0)
      << ctx.error();
  EXPECT_EQ(out.text(), "1\ta\nbcd");
}

}  // namespace
