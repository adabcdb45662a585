// The Lua shell end to end on a pseudo-terminal against veld-sim: its prompt and tags, results
// and errors, statements over several lines, Tab, Ctrl-C and Ctrl-D, its history file, the
// handover of the history to the shell and back, and a shell recording that goes through it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using e2e::Shell;
using e2e::last_line;

// Types keys and waits until the screen after them ends with a prompt; gives the screen text
// after the keys' mark.
std::string type_until_prompt(Shell& sh, const std::string& keys) {
  size_t from = sh.pty().mark();
  sh.pty().type(keys);
  EXPECT_TRUE(sh.pty().wait_until([&](const std::string& s) {
    return s.size() > from && e2e::ends_with_prompt(s.substr(from));
  })) << sh.pty().text();
  return sh.pty().text().substr(from);
}

// A Lua shell, entered from a shell whose module folder holds "greet" (a folder with an
// init.lua), after one line of the shell's own history.
struct LuaSession {
  k::test::TempDir modules;
  Emulator sim;
  std::unique_ptr<Shell> shell;
  LuaSession() {
    std::filesystem::create_directory(modules.file("greet"));
    e2e::write_file(modules.file("greet/init.lua"), "return {hello = function() return 'hi' end}\n");
    shell = std::make_unique<Shell>(sim, std::vector<std::string>{}, "", false,
                                    std::vector<std::string>{"VELC_LUA_MODULES=" + modules.path()});
    EXPECT_EQ(shell->run("pwd"), ":\n");
    EXPECT_EQ(shell->run("lua"), "> preloaded greet\n");
  }
};

TEST(LuaShell, ResultsErrorsStatementsOverSeveralLinesAndItsHistory) {
  LuaSession s;
  Shell& sh = *s.shell;
  const struct {
    std::string line, out, prompt;
  } cases[] = {
      {"x = 40", "", "velc-lua:> "},
      {"x, 'two'", "_[1] = 40\n_[2] = \"two\"\n", "velc-lua:> "},
      {"greet.hello()", "_[3] = \"hi\"\n", "velc-lua:> "},
      // A syntax error: the compiler's message, and the tag says it failed until the next one.
      {"x = = 1", "[string \"stdin\"]:1: unexpected symbol near '='\n", "velc-lua(fail):> "},
      {" print('blank')", "blank\n", "velc-lua:> "},
      {"", "", "velc-lua:> "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sh.run(c.line), c.out) << c.line;
    EXPECT_EQ(last_line(sh.pty().text()), c.prompt) << c.line;
  }
  std::string trace = sh.run("error('boom')");
  EXPECT_EQ(trace.rfind("[string \"stdin\"]:1: boom\n\nStack trace:\n\t#0 [C]:", 0), 0u) << trace;

  // A statement over three lines: "> " asks for more, an empty line adds nothing, "quit" is
  // Lua text.
  size_t from = sh.pty().mark();
  sh.pty().type("for i = 1, 2 do\r");
  ASSERT_TRUE(sh.pty().wait_for("for i = 1, 2 do\n> ", from)) << sh.pty().text();
  sh.pty().type("\r");
  ASSERT_TRUE(sh.pty().wait_for("\n> \n> ", from)) << sh.pty().text();
  sh.pty().type("local quit = i print(quit)\r");
  ASSERT_TRUE(sh.pty().wait_for("print(quit)\n> ", from)) << sh.pty().text();
  EXPECT_EQ(type_until_prompt(sh, "end\r"), "end\n1\n2\nvelc-lua:> ");

  // Ctrl-C stops a statement that never ends, and drops an unfinished one; the state goes on.
  from = sh.pty().mark();
  sh.pty().type("while true do end\r");
  ASSERT_TRUE(sh.pty().wait_for("while true do end\n", from)) << sh.pty().text();
  type_until_prompt(sh, e2e::kCtrlC);
  from = sh.pty().mark();
  sh.pty().type("if true then\r");
  ASSERT_TRUE(sh.pty().wait_for("\n> ", from)) << sh.pty().text();
  type_until_prompt(sh, e2e::kCtrlC);
  EXPECT_EQ(sh.run("print(x)"), "40\n");

  // "q" on a first line leaves.
  type_until_prompt(sh, "q\r");
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");
  sh.quit("q\r");
  // One entry a statement (the loop with its newlines); no blank lines, no statement typed with
  // a leading blank, none stopped by Ctrl-C, no "q".
  EXPECT_EQ(e2e::read_file(sh.home() + "/lua-history"),
            "x = 40\nx, 'two'\ngreet.hello()\nx = = 1\nerror('boom')\nfor i = 1, 2 do\n"
            "local quit = i print(quit)\nend\nprint(x)\n");
}

// Tab completes globals and modules; Ctrl-D gives the shell back its history and its completion.
TEST(LuaShell, CompletionAndTheWayBack) {
  LuaSession s;
  Shell& sh = *s.shell;
  std::string out = type_until_prompt(sh, "print(tostri\t(12), string.upp\t('x'))\r");
  EXPECT_NE(out.find("print(tostring (12), string.upper ('x'))\n12\tX\n"), std::string::npos) << out;
  out = type_until_prompt(sh, "print(require(\"norlan.gr\t).hello())\r");
  EXPECT_NE(out.find("print(require(\"norlan.greet\" ).hello())\nhi\n"), std::string::npos) << out;

  // A loaded module completed by name becomes a global; the line is drawn once, below the message.
  sh.run("package.loaded.mymod = {x = 1}");
  size_t from = sh.pty().mark();
  sh.pty().type("mymod\t");
  ASSERT_TRUE(sh.pty().wait_for("Globalized module 'mymod'.\n", from)) << sh.pty().text();
  type_until_prompt(sh, "x\r");
  EXPECT_NE(sh.pty().text().find("Globalized module 'mymod'.\nvelc-lua:> mymod.x\n_[1] = 1\n", from), std::string::npos)
      << sh.pty().text().substr(from);

  type_until_prompt(sh, e2e::kCtrlD);
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");
  out = type_until_prompt(sh, "\x1b[A\x1b[A\r");  // Up twice: "pwd", before "lua"
  EXPECT_NE(out.find("pwd\n:\n"), std::string::npos) << out;
  out = type_until_prompt(sh, "pw\t\r");
  EXPECT_NE(out.find("pwd \n:\n"), std::string::npos) << out;
  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\nlua\npwd\npwd \n");
}

// A recording begun in the shell goes on with the statements of a Lua session and is written
// from them when the Lua shell is left (the Lua history's older entries stay out). Entering the
// Lua shell writes the shell's history file, so a session that ends there keeps it. With
// colours, result lines are green.
TEST(LuaShell, ShellRecordingAndColoursThroughTheLuaShell) {
  Emulator sim;
  k::test::TempDir dir;
  Shell sh(sim);
  e2e::write_file(sh.home() + "/lua-history", "old1\nold2\n");
  const std::string file = dir.file("r");
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(sh.run("pwd"), ":\n");
  EXPECT_EQ(sh.run("lua"), "> preloaded device\n");
  EXPECT_EQ(e2e::read_file(sh.history()), "record " + file + "\npwd\nlua\n");
  EXPECT_EQ(sh.run("1"), "_[1] = 1\n");
  type_until_prompt(sh, e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(file),
            "-- Recorded in velc's Lua shell: what it had preloaded, then the statements typed.\n"
            "local function velc_show(...) if select(\"#\", ...) > 0 then print(...) end end\n"
            "device = require(\"norlan.device\")\nvelc_show(1)\n");
  sh.quit("q\r");

  Shell coloured(sim, {}, "", true);
  coloured.run("lua");
  size_t from = coloured.pty().raw().size();
  EXPECT_EQ(coloured.run("1"), "_[1] = 1\n");
  EXPECT_NE(coloured.pty().raw().find("\x1b[1;32m_[1]\x1b[0;32m = 1\x1b[0m", from), std::string::npos);
  coloured.quit(std::string(e2e::kCtrlD) + "q\r");
}

}  // namespace
