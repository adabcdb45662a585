#include "lua/lua_runner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <lua.hpp>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/interrupt.h"
#include "platform/json.h"
#include "render/test_drain.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

namespace {

k::Json words(std::initializer_list<const char*> list) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : list) json_array_append_new(a.get(), json_string(w));
  return a;
}

// What a chunk prints goes to standard output, what it printed before an error included; the
// error text of a failed run carries the message (and, for a runtime error, a traceback).
TEST(LuaRunner, OutputAndErrors) {
  const struct {
    const char* text;
    int status;         // 0 or not
    std::string out;
    std::string error;  // the beginning of the error text
    bool traceback;
  } cases[] = {
      {"print(1, 'a', nil, true)", 0, "1\ta\tnil\ttrue\n", "", false},
      {"io.write('x', 1, 2.5, '\\0y') io.stdout:write('z')", 0, std::string("x12.5\0yz", 8), "",
       false},
      {"io.write('a') io.stdout:flush() print('b')", 0, "ab\n", "", false},
      {"print('before') error('boom')", 1, "before\n", "[string \"print('before') error('boom')\"]:1: boom",
       true},
      {"error(setmetatable({}, {__tostring = function() return 'obj' end}))", 1, "", "obj", false},
      {"x = = 1", 1, "", "[string \"x = = 1\"]:1: unexpected symbol near '='", false},
      {"io.write({})", 1, "", "[string \"io.write({})\"]:1: bad argument #1 to 'write'", true},
      {"\x1bLua", 1, "", "attempt to load a binary chunk", false},
  };
  k::LuaContext ctx;
  for (const auto& c : cases) {
    StdoutCapture terminal;
    int r = ctx.exec(c.text);
    EXPECT_EQ(terminal.finish(), c.out) << c.text;
    EXPECT_EQ(r != 0, c.status != 0) << c.text;
    EXPECT_EQ(ctx.error().rfind(c.error, 0), 0u) << c.text << "\n" << ctx.error();
    EXPECT_EQ(ctx.error().find("stack traceback:") != std::string::npos, c.traceback)
        << c.text << "\n" << ctx.error();
  }
}

// Given a stream, `print`, `io.write` and `io.stdout` write there and nothing to standard output;
// Lua cannot close it.
TEST(LuaRunner, OutputStream) {
  TestStream out;
  k::LuaContext ctx;
  ctx.set_output(out.file);
  StdoutCapture terminal;
  ASSERT_EQ(ctx.exec("print(1, 'a') io.write('b') io.stdout:write('c') assert(not io.close()) "
                     "assert(not io.stdout:close()) io.output():write('d')"),
            0)
      << ctx.error();
  EXPECT_EQ(terminal.finish(), "");
  EXPECT_EQ(drain(out.file), "1\ta\nbcd");
}

TEST(LuaRunner, GlobalsLastAndErrorIsPerRun) {
  k::LuaContext ctx;
  StdoutCapture out;
  ASSERT_EQ(ctx.exec("n = 41"), 0);
  EXPECT_EQ(k::LuaContext::of(ctx.state()), &ctx);
  ASSERT_EQ(ctx.exec("n = n + 1 print(n)"), 0);
  ASSERT_NE(ctx.exec("error('x', 0)"), 0);
  EXPECT_EQ(ctx.error().rfind("x\nstack traceback:", 0), 0u);
  ASSERT_EQ(ctx.exec("print(string.format('%d', 7), math.max(1, 2), table.concat({'a'}))"), 0);
  EXPECT_EQ(ctx.error(), "");
  EXPECT_EQ(out.finish(), "42\n7\t2\ta\n");
}

// Arguments are the chunk's `...` and arg[1..n] (a number as its JSON text), arg[0] its name;
// without an array the chunk has no `...` and `arg` stays as the last run left it. (Chunk names in
// messages are seen end to end.)
TEST(LuaRunner, Arguments) {
  k::LuaContext ctx;
  k::Json args = words({"one"});
  json_array_append_new(args.get(), json_integer(3));
  StdoutCapture out;
  ASSERT_EQ(ctx.exec("print(select('#', ...), ...) print(#arg, arg[0], arg[2])", "s.lua",
                     args.get()),
            0)
      << ctx.error();
  ASSERT_EQ(ctx.exec("print(select('#', ...), arg[1])"), 0);
  k::Json none = k::Json::take(json_array());
  ASSERT_EQ(ctx.exec("print(select('#', ...), #arg, arg[0])", std::nullopt, none.get()), 0);
  EXPECT_EQ(out.finish(), "2\tone\t3\n2\ts.lua\t3\n0\tone\n0\t0\tnil\n");
}

// "norlan.X" is found in the module folder: X.lua or X/init.lua (Lua files) before Lua's own
// paths; a module that fails to compile is reported as require reports it.
TEST(LuaRunner, ModulesOfTheModuleFolder) {
  k::test::TempDir dir;
  std::ofstream(dir.file("greet.lua")) << "return {hello = function(n) return 'hi ' .. n end}\n";
  std::filesystem::create_directory(dir.file("pkg"));
  std::ofstream(dir.file("pkg/init.lua")) << "return 'pkg'\n";
  std::ofstream(dir.file("bad.lua")) << "return = 1\n";
  setenv("VELC_LUA_MODULES", dir.path().c_str(), 1);
  EXPECT_EQ(k::lua_module_dir(), dir.path());
  k::LuaContext ctx;
  unsetenv("VELC_LUA_MODULES");
  // Without the variable: the folder beside the program's (a build folder has one, as an
  // installation does).
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(k::lua_module_dir(), (program.parent_path().parent_path() / "lib/lua/5.3/norlan").string());
  EXPECT_EQ(output_of([&] {
              ASSERT_EQ(ctx.exec("print(require('norlan.greet').hello('x'), require('norlan.pkg'))"),
                        0)
                  << ctx.error();
            }),
            "hi x\tpkg\n");
  ASSERT_NE(ctx.exec("require('norlan.bad')"), 0);
  EXPECT_NE(ctx.error().find("error loading module 'norlan.bad' from file '" + dir.file("bad.lua")),
            std::string::npos)
      << ctx.error();
  ASSERT_NE(ctx.exec("require('norlan.none')"), 0);
  EXPECT_NE(ctx.error().find("no module 'none' in '" + dir.path() + "'"), std::string::npos)
      << ctx.error();
}

// Raises SIGINT at the process itself after a short while, with the command-time handler in
// place: the flag rises while the chunk loops.
struct AlarmInterrupt {
  AlarmInterrupt() {
    signal(SIGALRM, [](int) { raise(SIGINT); });
    itimerval t{};
    t.it_value.tv_usec = 50 * 1000;
    setitimer(ITIMER_REAL, &t, nullptr);
  }
  ~AlarmInterrupt() {
    itimerval t{};
    setitimer(ITIMER_REAL, &t, nullptr);
    signal(SIGALRM, SIG_DFL);
  }
};

// Ctrl-C stops a loop that never calls out of Lua, one that catches errors, and one inside a
// coroutine; the state stays usable and keeps its globals.
TEST(LuaRunner, CtrlCStopsTheRunAndTheStateStaysUsable) {
  const char* loops[] = {
      "io.stderr:write('') while true do end",
      "while true do pcall(function() while true do end end) end",
      "coroutine.wrap(function() while true do end end)()",
      "for _ = 1, math.huge do local t = {} end",
  };
  k::LuaContext ctx;
  ASSERT_EQ(ctx.exec("kept = 'yes'"), 0);
  for (const char* loop : loops) {
    bool interrupted = false;
    {
      k::InterruptScope scope;
      AlarmInterrupt alarm;
      try {
        ctx.exec(loop);
      } catch (const k::Interrupted&) {
        interrupted = true;
      }
    }
    // The second loop catches each error but one: its own pcall cannot hold the flag down.
    EXPECT_TRUE(interrupted) << loop;
    EXPECT_EQ(ctx.error(), "interrupted") << loop;
    EXPECT_EQ(k::g_interrupt_requested, 0);
    EXPECT_EQ(output_of([&] { ASSERT_EQ(ctx.exec("print(kept)"), 0) << loop << ctx.error(); }),
              "yes\n");
  }
  ctx.exec("x = 1");
}

}  // namespace
