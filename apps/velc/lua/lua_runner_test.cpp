#include "lua/lua_runner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <array>

#include "platform/interrupt.h"
#include "testing/stdout_capture.h"

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
