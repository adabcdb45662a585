#include "lua/lua_runner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <lua.hpp>

#include <array>
#include <fstream>

#include "platform/interrupt.h"
#include "datamodel/test_support.h"
#include "platform/json.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

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
  for (const auto& c : cases) {
    StdoutCapture terminal;
    int r = ctx.exec(c.text);
    EXPECT_EQ(terminal.finish(), c.out) << c.text;
    EXPECT_EQ(r != 0, !c.error.empty()) << c.text;
    if (c.error.empty()) { EXPECT_EQ(ctx.error(), "") << c.text; }
    EXPECT_EQ(ctx.error().rfind(c.error, 0), 0u) << c.text << "\n" << ctx.error();
    EXPECT_EQ(ctx.error().find("stack traceback:") != std::string::npos, c.traceback) << ctx.error();
  }
}

// "norlan.X" is found in the module folder: X.lua or X/init.lua (Lua files) before Lua's own
// paths; a module that fails to compile is reported as require reports it.
TEST(LuaRunner, ModulesOfTheModuleFolder) {
  k::test::TempDir dir;
  std::filesystem::create_directory(dir.file("pkg"));
  for (auto [file, text] : {std::pair{"greet.lua", "return 'hi'"}, {"pkg/init.lua", "return 'pkg'"}, {"bad.lua", "return = 1"}})
    std::ofstream(dir.file(file)) << text;
  setenv("VELC_LUA_MODULES", dir.path().c_str(), 1);
  EXPECT_EQ(k::lua_module_dir(), dir.path());
  k::LuaContext ctx;
  unsetenv("VELC_LUA_MODULES");
  // Without the variable: the folder beside the program's (a build folder has one, as an
  // installation does).
  EXPECT_EQ(k::lua_module_dir(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib/lua/5.3/norlan");
  EXPECT_EQ(output_of([&] { ASSERT_EQ(ctx.exec("print(require('norlan.greet'), require('norlan.pkg'))"), 0); }),
            "hi\tpkg\n");
  ASSERT_NE(ctx.exec("require('norlan.bad')"), 0);
  EXPECT_NE(ctx.error().find("error loading module 'norlan.bad' from file '" + dir.file("bad.lua")), std::string::npos);
  ASSERT_NE(ctx.exec("require('norlan.none')"), 0);
  EXPECT_NE(ctx.error().find("no module 'none' in '" + dir.path() + "'"), std::string::npos) << ctx.error();
}

// Raises SIGINT at the process itself after a short while, with the command-time handler in
// place: the flag rises while the chunk loops.
struct AlarmInterrupt {
  AlarmInterrupt() {
    signal(SIGALRM, [](int) { raise(SIGINT); });
    itimerval t{.it_interval = {}, .it_value = {.tv_sec = 0, .tv_usec = 50 * 1000}};
    setitimer(ITIMER_REAL, &t, nullptr);
  }
  ~AlarmInterrupt() {
    setitimer(ITIMER_REAL, std::array<itimerval, 1>{}.data(), nullptr);
    signal(SIGALRM, SIG_DFL);
  }
};

// Ctrl-C stops a loop that never calls out of Lua, one that catches errors, and one inside a
// coroutine; the state stays usable and keeps its globals.
TEST(LuaRunner, CtrlCStopsTheRunAndTheStateStaysUsable) {
  k::LuaContext ctx;
  ASSERT_EQ(ctx.exec("kept = 'yes'"), 0);
  for (const char* loop : {"io.stderr:write('') while true do end", "while true do pcall(function() while true do end end) end",
                           "coroutine.wrap(function() while true do end end)()"}) {
    {
      k::InterruptScope scope;
      AlarmInterrupt alarm;
      EXPECT_THROW(ctx.exec(loop), k::Interrupted) << loop;
    }
    // The second loop catches each error but one: its own pcall cannot hold the flag down.
    EXPECT_EQ(ctx.error(), "interrupted") << loop;
    EXPECT_EQ(k::g_interrupt_requested, 0);
    EXPECT_EQ(output_of([&] { ASSERT_EQ(ctx.exec("print(kept)"), 0) << loop << ctx.error(); }), "yes\n");
  }
}

}  // namespace
