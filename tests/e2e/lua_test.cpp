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
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;

// The shell passes everything after "lua " as one statement, blanks and quotes as typed, to a
// fresh interpreter; so does request mode.
TEST(LuaCommand, InTheShellAndInRequestMode) {
  Emulator sim;
  e2e::Shell sh(sim);
  EXPECT_EQ(sh.run("lua   print( 'a  \"b\"' ) -- c"), "  print( 'a  \"b\"' ) -- c \na  \"b\"\n");
  EXPECT_EQ(sh.run("lua x = 5"), "x = 5 \n");
  EXPECT_EQ(sh.run("lua print(x)"), "print(x) \nnil\n");
  e2e::Run one = e2e::velc(sim, {"-r", "lua", "print(1,", "2)"});
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.out, "print(1, 2) \n1\t2\n");
}

// A script's arguments and output, and line numbers that match the file (its "#!" line
// included) in an error; what was printed before the error stays. A failed script is no failed
// run. Under the program name velc_lua the first word is the script (standard input without
// one), and an executable file runs through its "#!" line.
TEST(LuaScript, ArgumentsErrorsProgramNameAndShebang) {
  Emulator sim;
  k::test::TempDir dir;
  std::string lua = dir.file("velc_lua"), path = dir.file("s.lua"), failing = dir.file("f.lua");
  ASSERT_EQ(symlink((e2e::bin_dir() + "/velc").c_str(), lua.c_str()), 0);
  e2e::write_file(path, "#!" + lua + " --unixpath=" + sim.socket() + "\nprint(select('#', ...), ...)\n"
                        "print(arg[0]:match('s%.lua$'), arg[1])\nio.write('no newline')\n");
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  e2e::write_file(failing, "#!/usr/bin/velc_lua\nprint('before')\nio.write('part')\nerror('line four')\n");
  const std::pair<e2e::Run, std::string> cases[] = {
      {e2e::velc(sim, {"-S", path, "one", "two words"}), "2\tone\ttwo words\ns.lua\tone\nno newline"},
      {e2e::run(lua, {"-u", sim.socket(), path, "a"}), "1\ta\ns.lua\ta\nno newline"},
      {e2e::run(path, {"c"}), "1\tc\ns.lua\tc\nno newline"},
      {e2e::velc(sim, {"-S", failing}), "before\npart" + failing + ":4: line four\nstack traceback:\n"
                                        "\t[C]: in function 'error'\n\t" + failing + ":4: in main chunk\n"},
      {e2e::run(lua, {"-u", sim.socket()}, "print(arg[0], 1 + 1)\nx = = 1\n"),
       "stdin:2: unexpected symbol near '='\n"},
  };
  for (const auto& [run, out] : cases) {
    EXPECT_EQ(run.status, 0) << out;
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, "");
  }
}

// A script's output comes into a pipe when it flushes, before the script ends: the script
// blocks opening a FIFO that the test opens only once it has read the first line.
TEST(LuaScript, OutputComesAsItIsFlushed) {
  Emulator sim;
  k::test::TempDir dir;
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
  EXPECT_TRUE(std::fgets(line, sizeof line, pipe));
  EXPECT_STREQ(line, "got go\n");
  EXPECT_EQ(pclose(pipe), 0);
}

}  // namespace
