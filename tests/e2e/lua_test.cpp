// Lua end to end against veld-sim: the one-statement `lua` command in the shell (through the
// pseudo-terminal) and in request mode, and Lua scripts (-S, the program name velc_lua, a "#!"
// line, standard input, Ctrl-C).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"
#include "testing/temp_dir.h"

namespace {

using e2e::Emulator;
using e2e::Shell;

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The shell passes everything after "lua " as one statement, blanks and quotes as typed.
TEST(LuaCommand, InTheShell) {
  Emulator sim;
  Shell sh(sim);
  const struct {
    std::string line;
    std::string out;
  } cases[] = {
      {"lua print(1)", "print(1) \n1\n"},
      {"lua   print( 'a  \"b\"' ) -- a comment", "  print( 'a  \"b\"' ) -- a comment \na  \"b\"\n"},
      {"lua x = 5", "x = 5 \n"},
      {"lua print(x)", "print(x) \nnil\n"},  // every statement has a fresh interpreter
      {"lua error(\"x\")",
       "error(\"x\") \nLUA ERROR: [string \"error(\"x\") \"]:1: x\nstack traceback:\n"
       "\t[C]: in function 'error'\n\t[string \"error(\"x\") \"]:1: in main chunk\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(sh.run(c.line), c.out) << c.line;

  // Ctrl-C stops a statement that never ends; the shell goes on.
  size_t from = sh.pty().mark();
  sh.pty().type("lua while true do end\r");
  ASSERT_TRUE(sh.pty().wait_for("while true do end \n", from)) << sh.pty().text();
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) {
    return e2e::ends_with_prompt(s.substr(from));
  })) << sh.pty().text();
  EXPECT_EQ(sh.run("lua print(2)"), "print(2) \n2\n");
  sh.quit("q\r");
}

TEST(LuaCommand, InRequestMode) {
  Emulator sim;
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

// A script with a "#!" line: its arguments, its output, and line numbers that match the file in
// an error.
TEST(LuaScript, ArgumentsShebangAndErrors) {
  Emulator sim;
  k::test::TempDir dir;
  std::string path = dir.file("s.lua");
  write_file(path,
             "#!/usr/bin/velc_lua -u x\n"
             "print(select('#', ...), ...)\n"
             "print(arg[0]:match('s%.lua$'), arg[1], arg[2])\n"
             "io.write('no newline')\n");
  for (const e2e::Run& r : {e2e::velc(sim, {"-S", path, "one", "two words"}),
                            e2e::velc(sim, {"--lua-script=" + path, "one", "two words"})}) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "2\tone\ttwo words\ns.lua\tone\ttwo words\nno newline");
    EXPECT_EQ(r.err, "");
  }

  // What was printed before the error stays, and the error follows it.
  write_file(path, "#!/usr/bin/velc_lua\nprint('before')\nio.write('part')\nerror('line four')\n");
  e2e::Run failed = e2e::velc(sim, {"-S", path});
  EXPECT_EQ(failed.status, 0);  // a failed script is no failed run
  EXPECT_EQ(failed.out, "before\npart" + path +
                            ":4: line four\nstack traceback:\n\t[C]: in function 'error'\n\t" +
                            path + ":4: in main chunk\n");

  write_file(path, "\nx = = 1\n");
  EXPECT_EQ(e2e::velc(sim, {"-S", path}).out, path + ":2: unexpected symbol near '='\n");

  e2e::Run missing = e2e::velc(sim, {"-S", dir.file("none.lua")});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.out, "Cannot open script file " + dir.file("none.lua") + "\n");
}

// Under the program name velc_lua the first word is the script (standard input without one),
// and an executable file runs through its "#!" line.
TEST(LuaScript, ProgramName) {
  Emulator sim;
  k::test::TempDir dir;
  std::string lua = dir.file("velc_lua");
  ASSERT_EQ(symlink((e2e::bin_dir() + "/velc").c_str(), lua.c_str()), 0);
  std::string path = dir.file("s.lua");
  write_file(path, "#!" + lua + " --unixpath=" + sim.socket() + "\nprint(...)\n");
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);

  const struct {
    e2e::Run run;
    std::string out;
  } cases[] = {
      {e2e::run(lua, {"-u", sim.socket(), path, "a", "b"}), "a\tb\n"},
      {e2e::run(path, {"c"}), "c\n"},
      {e2e::run(lua, {"-u", sim.socket()}, "print(arg[0], 1 + 1)\nerror('two')\n"),
       "stdin\t2\nstdin:2: two\nstack traceback:\n\t[C]: in function 'error'\n\tstdin:2: in main chunk\n"},
      {e2e::run(lua, {"-u", sim.socket()}, "print(arg[0], 1 + 1)\n"), "stdin\t2\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.run.status, 0) << c.out;
    EXPECT_EQ(c.run.out, c.out);
  }
}

// A script's output comes as it prints it, before the script ends: line by line on a terminal,
// and into a pipe when it flushes (stdio's block buffering). Each script waits for the test,
// which answers only once it has read the first line.
TEST(LuaScript, OutputComesAsItIsPrinted) {
  Emulator sim;
  k::test::TempDir dir;
  write_file(dir.file("read.lua"), "print('first')\nprint('got ' .. io.read())\n");
  e2e::Pty terminal(e2e::bin_dir() + "/velc", {"-u", sim.socket(), "-S", dir.file("read.lua")}, {});
  ASSERT_TRUE(terminal.wait_for("first\n", 0)) << terminal.text();
  terminal.type("go\r");
  EXPECT_TRUE(terminal.wait_for("got go\n", 0)) << terminal.text();
  EXPECT_EQ(terminal.wait_exit(), 0);

  // Into a pipe: the script blocks opening a FIFO that the test opens after the first line came.
  std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  write_file(dir.file("fifo.lua"),
             "print('first') io.stdout:flush()\nprint('got ' .. io.open(arg[1]):read('a'))\n");
  std::string command = e2e::bin_dir() + "/velc -u '" + sim.socket() + "' -S '" +
                        dir.file("fifo.lua") + "' '" + fifo + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  pollfd p = {fileno(pipe), POLLIN, 0};
  char line[64] = "";
  bool came = poll(&p, 1, 30 * 1000) == 1 && std::fgets(line, sizeof line, pipe);
  write_file(fifo, "go");  // lets the script end either way
  EXPECT_TRUE(came);
  EXPECT_STREQ(line, "first\n");
  std::string rest;
  while (std::fgets(line, sizeof line, pipe)) rest += line;
  EXPECT_EQ(rest, "got go\n");
  EXPECT_EQ(pclose(pipe), 0);
}

// Ctrl-C stops a script that loops; what it printed comes out, and the run ends with 130.
TEST(LuaScript, CtrlCStopsTheScript) {
  Emulator sim;
  k::test::TempDir dir;
  std::string out = dir.file("out");
  std::string started = dir.file("started");
  write_file(dir.file("s.lua"), "print('before')\nio.open(arg[1], 'w'):close()\nwhile true do end\n");
  pid_t pid = e2e::start_velc(sim, {"-S", dir.file("s.lua"), started}, out);
  for (int i = 0; i < 600 && access(started.c_str(), F_OK) != 0; ++i) usleep(50 * 1000);
  ASSERT_EQ(access(started.c_str(), F_OK), 0);
  kill(pid, SIGINT);
  EXPECT_EQ(e2e::wait_exit_status(pid), 130);
  EXPECT_EQ(e2e::read_file(out), "before\n");
}

}  // namespace
