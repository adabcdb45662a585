// Lua end to end against veld-sim: the one-statement `lua` command in the shell (on a terminal)
// and in request mode, and Lua scripts (-S, the program name velc_lua, a "#!" line, standard
// input) with their arguments, errors and output.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;

// The shell passes everything after "lua " as one statement, blanks and quotes as typed, to a
// fresh interpreter; Ctrl-C stops one that never ends, and the shell goes on.
TEST(LuaCommand, InTheShellAndInRequestMode) {
  Emulator sim;
  e2e::Shell sh(sim);
  const std::pair<std::string, std::string> cases[] = {
      {"lua   print( 'a  \"b\"' ) -- a comment", "  print( 'a  \"b\"' ) -- a comment \na  \"b\"\n"},
      {"lua x = 5", "x = 5 \n"},
      {"lua print(x)", "print(x) \nnil\n"},
  };
  for (const auto& [line, out] : cases) EXPECT_EQ(sh.run(line), out) << line;
  size_t from = sh.pty().mark();
  sh.pty().type("lua while true do end\r");
  ASSERT_TRUE(sh.pty().wait_for("while true do end \n", from)) << sh.pty().text();
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) { return e2e::ends_with_prompt(s.substr(from)); }))
      << sh.pty().text();
  EXPECT_EQ(sh.run("lua print(2)"), "print(2) \n2\n");
  sh.quit("q\r");

  e2e::Run one = e2e::velc(sim, {"-r", "lua", "print(1,", "2)"});
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.out, "print(1, 2) \n1\t2\n");
  // Without a statement: the Lua shell, which the end of the input leaves.
  k::test::TempDir dir;
  e2e::Run none = e2e::velc(sim, {"-r", "lua"}, "print(7)\n",
                            {"VELC_LUA_HISTFILE=" + dir.file("h"), "VELC_LUA_MODULES=" + dir.path()});
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.out.find("7\n"), std::string::npos) << none.out;
}

// A script's arguments and output, and line numbers that match the file (its "#!" line
// included) in an error; what was printed before the error stays. A failed script is no failed
// run.
TEST(LuaScript, ArgumentsShebangAndErrors) {
  Emulator sim;
  k::test::TempDir dir;
  std::string path = dir.file("s.lua");
  e2e::write_file(path, "#!/usr/bin/velc_lua -u x\nprint(select('#', ...), ...)\n"
                        "print(arg[0]:match('s%.lua$'), arg[1], arg[2])\nio.write('no newline')\n");
  for (const e2e::Run& r : {e2e::velc(sim, {"-S", path, "one", "two words"}),
                            e2e::velc(sim, {"--lua-script=" + path, "one", "two words"})}) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2\tone\ttwo words\ns.lua\tone\ttwo words\nno newline");
    EXPECT_EQ(r.err, "");
  }
  e2e::write_file(path, "#!/usr/bin/velc_lua\nprint('before')\nio.write('part')\nerror('line four')\n");
  e2e::Run failed = e2e::velc(sim, {"-S", path});
  EXPECT_EQ(failed.status, 0);
  EXPECT_EQ(failed.out, "before\npart" + path + ":4: line four\nstack traceback:\n\t[C]: in function 'error'\n\t" +
                            path + ":4: in main chunk\n");
  e2e::write_file(path, "\nx = = 1\n");
  EXPECT_EQ(e2e::velc(sim, {"-S", path}).out, path + ":2: unexpected symbol near '='\n");
}

// Under the program name velc_lua the first word is the script (standard input without one),
// and an executable file runs through its "#!" line.
TEST(LuaScript, ProgramName) {
  Emulator sim;
  k::test::TempDir dir;
  std::string lua = dir.file("velc_lua");
  ASSERT_EQ(symlink((e2e::bin_dir() + "/velc").c_str(), lua.c_str()), 0);
  std::string path = dir.file("s.lua");
  e2e::write_file(path, "#!" + lua + " --unixpath=" + sim.socket() + "\nprint(...)\n");
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  const std::pair<e2e::Run, std::string> cases[] = {
      {e2e::run(lua, {"-u", sim.socket(), path, "a", "b"}), "a\tb\n"},
      {e2e::run(path, {"c"}), "c\n"},
      {e2e::run(lua, {"-u", sim.socket()}, "print(arg[0], 1 + 1)\nerror('two')\n"),
       "stdin\t2\nstdin:2: two\nstack traceback:\n\t[C]: in function 'error'\n\tstdin:2: in main chunk\n"},
  };
  for (const auto& [run, out] : cases) {
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_EQ(run.out, out);
  }
}

// A script's output comes as it prints it, before the script ends: line by line on a terminal,
// and into a pipe when it flushes (stdio's block buffering). Each script waits for the test,
// which answers only once it has read the first line.
TEST(LuaScript, OutputComesAsItIsPrinted) {
  Emulator sim;
  k::test::TempDir dir;
  e2e::write_file(dir.file("read.lua"), "print('first')\nprint('got ' .. io.read())\n");
  e2e::Pty terminal(e2e::bin_dir() + "/velc", {"-u", sim.socket(), "-S", dir.file("read.lua")}, {});
  ASSERT_TRUE(terminal.wait_for("first\n", 0)) << terminal.text();
  terminal.type("go\r");
  EXPECT_TRUE(terminal.wait_for("got go\n", 0)) << terminal.text();
  EXPECT_EQ(terminal.wait_exit(), 0);

  // Into a pipe: the script blocks opening a FIFO that the test opens after the first line came.
  std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  e2e::write_file(dir.file("fifo.lua"), "print('first') io.stdout:flush()\nprint('got ' .. io.open(arg[1]):read('a'))\n");
  std::string command = e2e::bin_dir() + "/velc -u '" + sim.socket() + "' -S '" + dir.file("fifo.lua") + "' '" + fifo + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  pollfd p = {fileno(pipe), POLLIN, 0};
  char line[64] = "";
  bool came = poll(&p, 1, 30 * 1000) == 1 && std::fgets(line, sizeof line, pipe);
  e2e::write_file(fifo, "go");  // lets the script end either way
  EXPECT_TRUE(came);
  EXPECT_STREQ(line, "first\n");
  std::string rest;
  while (std::fgets(line, sizeof line, pipe)) rest += line;
  EXPECT_EQ(rest, "got go\n");
  EXPECT_EQ(pclose(pipe), 0);
}

}  // namespace
