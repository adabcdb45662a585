// The Lua shell end to end on a pseudo-terminal against veld-sim: its prompt and tags, results
// and errors, statements over several lines, Tab, Ctrl-C and Ctrl-D, its history file, the
// handover of the history to the shell and back, and a shell recording that goes through it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using e2e::Shell;
using e2e::last_line;

// A Lua shell entered from a shell whose module folder holds "greet" (a folder with an
// init.lua), after one line of the shell's own history; Ctrl-D gives the shell back its history.
TEST(LuaShell, ResultsErrorsStatementsCompletionAndTheWayBack) {
  k::test::TempDir modules;
  std::filesystem::create_directory(modules.file("greet"));
  e2e::write_file(modules.file("greet/init.lua"), "return {hello = function() return 'hi' end}\n");
  Emulator sim;
  Shell sh(sim, {}, "", false, {"VELC_LUA_MODULES=" + modules.path()});
  EXPECT_EQ(sh.run("pwd"), ":\n");
  EXPECT_EQ(sh.run("lua"), "> preloaded greet\n");
  const struct {
    std::string keys, out;  // the screen after the keys, up to the prompt
  } cases[] = {
      {"x = 40\r", "x = 40\nvelc-lua:> "},
      {"x, greet.hello()\r", "x, greet.hello()\n_[1] = 40\n_[2] = \"hi\"\nvelc-lua:> "},
      // A syntax error: the compiler's message, and the tag says it failed until the next one.
      {"x = = 1\r", "x = = 1\n[string \"stdin\"]:1: unexpected symbol near '='\nvelc-lua(fail):> "},
      {" print('blank')\r", " print('blank')\nblank\nvelc-lua:> "},
      // Over three lines: "> " asks for more, an empty line adds nothing, "quit" is Lua text.
      {"for i = 1, 2 do\r\rlocal quit = i print(quit)\rend\r",
       "for i = 1, 2 do\n> \n> local quit = i print(quit)\n> end\n1\n2\nvelc-lua:> "},
      {"print(tostri\t(12), string.upp\t('x'))\r", "print(tostring (12), string.upper ('x'))\n12\tX\nvelc-lua:> "},
      {"print(require(\"norlan.gr\t).hello())\r", "print(require(\"norlan.greet\" ).hello())\nhi\nvelc-lua:> "},
  };
  for (const auto& c : cases) EXPECT_EQ(sh.keys(c.keys), c.out) << c.keys;
  // Ctrl-C stops a statement that never ends, and drops an unfinished one; the state goes on.
  for (const std::string start : {"while true do end\r", "if true then\r"}) {
    size_t from = sh.pty().mark();
    sh.pty().type(start);
    ASSERT_TRUE(sh.pty().wait_for(start.substr(0, start.size() - 1) + "\n", from)) << sh.pty().text();
    sh.keys(e2e::kCtrlC);
  }
  EXPECT_EQ(sh.run("print(x)"), "40\n");
  EXPECT_EQ(sh.run("error('boom')").rfind("[string \"stdin\"]:1: boom\n\nStack trace:\n\t#0 [C]:", 0), 0u);

  // A loaded module completed by name becomes a global; the line is drawn once, below the message.
  sh.run("package.loaded.mymod = {x = 1}");
  size_t from = sh.pty().mark();
  sh.pty().type("mymod\t");
  ASSERT_TRUE(sh.pty().wait_for("Globalized module 'mymod'.\n", from)) << sh.pty().text();
  sh.keys("x\r");
  EXPECT_NE(sh.pty().text().find("Globalized module 'mymod'.\nvelc-lua:> mymod.x\n_[3] = 1\n", from), std::string::npos)
      << sh.pty().text().substr(from);
  EXPECT_EQ(last_line(sh.keys(e2e::kCtrlD)), "velc:> ");
  EXPECT_NE(sh.keys("\x1b[A\x1b[A\r").find("pwd\n:\n"), std::string::npos);  // Up twice: before "lua"
  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\nlua\npwd\n");
  // One entry a statement (the loop with its newlines); no blank lines, no statement typed with
  // a leading blank, none stopped by Ctrl-C.
  EXPECT_EQ(e2e::read_file(sh.home() + "/lua-history"),
            "x = 40\nx, greet.hello()\nx = = 1\nfor i = 1, 2 do\nlocal quit = i print(quit)\nend\n"
            "print(tostring (12), string.upper ('x'))\nprint(require(\"norlan.greet\" ).hello())\nprint(x)\n"
            "error('boom')\npackage.loaded.mymod = {x = 1}\nmymod.x\n");
}

// A recording begun in the shell goes on with the statements of a Lua session and is written
// from them when the Lua shell is left (the Lua history's older entries stay out). Entering the
// Lua shell writes the shell's history file, so a session that ends there keeps it.
TEST(LuaShell, ShellRecordingThroughTheLuaShell) {
  Emulator sim;
  k::test::TempDir dir;
  Shell sh(sim);
  e2e::write_file(sh.home() + "/lua-history", "old1\nold2\n");
  const std::string file = dir.file("r");
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(sh.run("lua"), "> preloaded device\n");
  EXPECT_EQ(e2e::read_file(sh.history()), "record " + file + "\nlua\n");
  EXPECT_EQ(sh.run("1"), "_[1] = 1\n");
  sh.keys(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(file),
            "-- Recorded in velc's Lua shell: what it had preloaded, then the statements typed.\n"
            "local function velc_show(...) if select(\"#\", ...) > 0 then print(...) end end\n"
            "device = require(\"norlan.device\")\nvelc_show(1)\n");
  sh.quit("q\r");
}

}  // namespace
