// The Lua shell end to end on a pseudo-terminal against veld-sim: its prompt and tags, numbered
// results and `_`, statements over several lines, errors, Tab, Ctrl-C and Ctrl-D, the handover
// of the history to the shell and back, and `luarecord` run again as a Lua script.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "harness/process.h"
#include "harness/shell_session.h"
#include "testing/temp_dir.h"

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

// A module folder with one module, "greet" (a folder with an init.lua).
struct Modules {
  k::test::TempDir dir;
  Modules() {
    std::filesystem::create_directory(dir.file("greet"));
    std::ofstream(dir.file("greet/init.lua")) << "return {hello = function() return 'hi' end}\n";
  }
};

// A Lua shell in a shell whose module folder holds "greet".
struct LuaSession {
  Modules modules;
  Emulator sim;
  Shell sh{sim, {}, "", false, {"VELC_LUA_MODULES=" + modules.dir.path()}};
  LuaSession() {
    EXPECT_EQ(sh.run("pwd"), ":\n");  // a line of the shell's history
    EXPECT_EQ(sh.run("lua"), "> preloaded greet\n");
  }
};

TEST(LuaShell, ResultsErrorsAndStatementsOverSeveralLines) {
  LuaSession s;
  Shell& sh = s.sh;
  EXPECT_EQ(last_line(sh.pty().text()), "velc-lua:> ");
  const struct {
    std::string line;
    std::string out;
    std::string prompt;
  } cases[] = {
      {"1+1", "_[1] = 2\n", "velc-lua:> "},
      {"x = 40", "", "velc-lua:> "},
      {"x, 'two'", "_[2] = 40\n_[3] = \"two\"\n", "velc-lua:> "},
      // `_` is the results table while a statement runs.
      {"_[1] + _[2]", "_[4] = 42\n", "velc-lua:> "},
      {"#_", "_[5] = 4\n", "velc-lua:> "},
      {"greet.hello()", "_[6] = \"hi\"\n", "velc-lua:> "},
      // A syntax error: the compiler's message, and the tag says it failed until the next one.
      {"x = = 1", "[string \"stdin\"]:1: unexpected symbol near '='\n", "velc-lua(fail):> "},
      {" print('blank')", "blank\n", "velc-lua:> "},
      {"", "", "velc-lua:> "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sh.run(c.line), c.out) << c.line;
    EXPECT_EQ(last_line(sh.pty().text()), c.prompt) << c.line;
  }

  // A runtime error: its message and the stack trace down to the main chunk.
  std::string trace = sh.run("error('boom')");
  EXPECT_EQ(trace.rfind("[string \"stdin\"]:1: boom\n\nStack trace:\n\t#0 [C]:", 0), 0u) << trace;
  EXPECT_NE(trace.find("in function 'error'\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("[string \"stdin\"]:1: in the main chunk\n"), std::string::npos) << trace;

  // A statement over three lines: "> " asks for more, an empty line adds nothing, "quit" is
  // Lua text.
  size_t from = sh.pty().mark();
  sh.pty().type("for i = 1, 2 do\r");
  ASSERT_TRUE(sh.pty().wait_for("for i = 1, 2 do\n> ", from)) << sh.pty().text();
  sh.pty().type("\r");
  ASSERT_TRUE(sh.pty().wait_for("\n> \n> ", from)) << sh.pty().text();
  sh.pty().type("local quit = i print(quit)\r");
  ASSERT_TRUE(sh.pty().wait_for("print(quit)\n> ", from)) << sh.pty().text();
  std::string out = type_until_prompt(sh, "end\r");
  EXPECT_EQ(out, "end\n1\n2\nvelc-lua:> ");

  // Ctrl-C stops a statement that never ends; the pending text is gone, the state goes on.
  sh.run("y = 5");
  from = sh.pty().mark();
  sh.pty().type("while true do end\r");
  ASSERT_TRUE(sh.pty().wait_for("while true do end\n", from)) << sh.pty().text();
  type_until_prompt(sh, e2e::kCtrlC);
  EXPECT_EQ(last_line(sh.pty().text()), "velc-lua:> ");
  EXPECT_EQ(sh.run("print(y)"), "5\n");
  // Ctrl-C at the continuation prompt drops the unfinished statement.
  from = sh.pty().mark();
  sh.pty().type("if true then\r");
  ASSERT_TRUE(sh.pty().wait_for("\n> ", from)) << sh.pty().text();
  type_until_prompt(sh, e2e::kCtrlC);
  EXPECT_EQ(sh.run("print('after')"), "after\n");

  // "q" on a first line leaves.
  type_until_prompt(sh, "q\r");
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");
  sh.quit("q\r");
  // The Lua history: the statements, one entry each (the loop with its newlines), no blank
  // lines, no statement typed with a leading blank, no "q".
  std::string history = e2e::read_file(sh.home() + "/lua-history");
  EXPECT_NE(
      history.find("x = = 1\nerror('boom')\nfor i = 1, 2 do\nlocal quit = i print(quit)\nend\n"),
      std::string::npos)
      << history;
  EXPECT_EQ(history.find("blank"), std::string::npos) << history;
  EXPECT_EQ(history.find("\nq\n"), std::string::npos) << history;
}

// Tab completes globals, fields and modules; Ctrl-D gives the shell back its history and its
// completion.
TEST(LuaShell, CompletionAndTheWayBack) {
  LuaSession s;
  Shell& sh = s.sh;
  // A global inside a call, then a field of a table: each whole word, followed by a blank.
  std::string out = type_until_prompt(sh, "print(tostri\t(12), string.upp\t('x'))\r");
  EXPECT_NE(out.find("print(tostring (12), string.upper ('x'))\n12\tX\n"), std::string::npos)
      << out;
  // After ":" the functions of the object and of its metatable's "__index" ("get", not
  // "getter"); a field typed whole gets "(".
  sh.run("m = {get = load'return 7'}");
  sh.run("obj = setmetatable({getter = 1}, {__index = m})");
  out = type_until_prompt(sh, "print(obj:ge\t\x7f\t), string.upper\t'x'))\r");
  // (The screen text keeps the redrawing of the backspace: the run shows what was inserted.)
  EXPECT_NE(out.find("'x'))\n7\tX\nvelc-lua:> "), std::string::npos) << out;
  // A whole function name gets "(" and no blank after it.
  out = type_until_prompt(sh, "print(tostring\t12))\r");
  EXPECT_NE(out.find("print(tostring(12))\n12\n"), std::string::npos) << out;
  // An array's indexes after "[".
  sh.run("t = {'one'}");
  out = type_until_prompt(sh, "print(t[\t)\r");
  EXPECT_NE(out.find("print(t[1] )\none\n"), std::string::npos) << out;
  // A loaded module completed by name becomes a global; the line is drawn once, below the
  // message.
  sh.run("package.loaded.mymod = {x = 1}");
  size_t from = sh.pty().mark();
  sh.pty().type("mymod\t");
  ASSERT_TRUE(sh.pty().wait_for("Globalized module 'mymod'.\n", from)) << sh.pty().text();
  type_until_prompt(sh, "x\r");
  out = sh.pty().text().substr(from);
  EXPECT_NE(out.find("Globalized module 'mymod'.\nvelc-lua:> mymod.x\n_[1] = 1\n"), std::string::npos)
      << out;
  // A module name inside require("...").
  out = type_until_prompt(sh, "print(require(\"norlan.gr\t).hello())\r");
  EXPECT_NE(out.find("print(require(\"norlan.greet\" ).hello())\nhi\n"), std::string::npos) << out;

  // Ctrl-D: back in the shell, whose history has its own lines (Up gives "lua") and whose Tab
  // completes commands again.
  out = type_until_prompt(sh, e2e::kCtrlD);
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");
  out = type_until_prompt(sh, "\x1b[A\x1b[A\r");
  EXPECT_NE(out.find("pwd\n:\n"), std::string::npos) << out;
  out = type_until_prompt(sh, "pw\t\r");
  EXPECT_NE(out.find("pwd \n:\n"), std::string::npos) << out;
  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\nlua\npwd\npwd \n");
}

// How a record of a Lua session that preloaded norlan.device begins.
const std::string kPreamble =
    "-- Recorded in velc's Lua shell: what it had preloaded, then the statements typed.\n"
    "local function velc_show(...) if select(\"#\", ...) > 0 then print(...) end end\n"
    "device = require(\"norlan.device\")\n";

// `luarecord` records the statements of a Lua session, which `velc -S` runs again.
TEST(LuaShell, LuaRecordRunsAgainAsAScript) {
  Emulator sim;
  Shell sh(sim);
  k::test::TempDir dir;
  const std::string file = dir.file("session.lua");
  EXPECT_EQ(sh.run("luarecord"), "syntax: luarecord <filename>|abort\n");
  EXPECT_EQ(sh.run("luarecord " + file), "> preloaded device\n");
  EXPECT_EQ(last_line(sh.pty().text()), "velc-lua:> ");
  EXPECT_EQ(sh.run("print('a' .. 1)"), "a1\n");
  EXPECT_EQ(sh.run(" print('not recorded')"), "not recorded\n");
  size_t from = sh.pty().mark();
  sh.pty().type("for i = 1, 2 do\r");
  ASSERT_TRUE(sh.pty().wait_for("\n> ", from)) << sh.pty().text();
  type_until_prompt(sh, "print(i * 10) end\r");
  type_until_prompt(sh, "q\r");
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");
  EXPECT_EQ(e2e::read_file(file),
            kPreamble + "velc_show(print('a' .. 1))\nfor i = 1, 2 do\nprint(i * 10) end\n");

  // A second recording while one runs does not enter the Lua shell.
  EXPECT_EQ(sh.run("record " + dir.file("other")), "");
  EXPECT_EQ(sh.run("luarecord " + dir.file("third")), "luarecord: already recording.\n");
  EXPECT_EQ(last_line(sh.pty().text()), "velc-record:> ");
  sh.quit(e2e::kCtrlD);

  e2e::Run again = e2e::velc(sim, {"-S", file});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "a1\n10\n20\n");
}

// A recording begun in the shell goes on with the statements of a Lua session and is written
// from them when the Lua shell is left (the Lua history's older entries stay out). Entering the
// Lua shell writes the shell's history file, so a session that ends there keeps it.
TEST(LuaShell, ShellRecordingThroughTheLuaShell) {
  Emulator sim;
  k::test::TempDir dir;
  Shell sh(sim);
  std::ofstream(sh.home() + "/lua-history") << "old1\nold2\nold3\n";
  const std::string file = dir.file("r");
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(sh.run("pwd"), ":\n");
  EXPECT_EQ(sh.run("lua"), "> preloaded device\n");
  EXPECT_EQ(e2e::read_file(sh.history()), "record " + file + "\npwd\nlua\n");
  EXPECT_EQ(sh.run("print(5)"), "5\n");
  type_until_prompt(sh, e2e::kCtrlD);
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");
  EXPECT_EQ(e2e::read_file(file), kPreamble + "velc_show(print(5))\n");
  sh.quit("q\r");
}

// With colours, errors are red and result lines green.
TEST(LuaShell, ColoursErrorsAndResults) {
  Emulator sim;
  Shell sh(sim, {}, "", true);
  sh.run("lua");
  size_t from = sh.pty().raw().size();
  EXPECT_EQ(sh.run("x = = 1"), "[string \"stdin\"]:1: unexpected symbol near '='\n");
  EXPECT_NE(sh.pty().raw().find("\x1b[0;31m[string \"stdin\"]:1: unexpected symbol near '='\x1b[0m",
                                from),
            std::string::npos);
  from = sh.pty().raw().size();
  EXPECT_EQ(sh.run("1"), "_[1] = 1\n");
  EXPECT_NE(sh.pty().raw().find("\x1b[1;32m_[1]\x1b[0;32m = 1\x1b[0m", from), std::string::npos);
  sh.quit(std::string(e2e::kCtrlD) + "q\r");
}

}  // namespace
