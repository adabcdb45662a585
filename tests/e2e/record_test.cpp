// Session recording end to end: `record` and `luarecord` in the shell on a terminal against
// veld-sim, the files they write, and those files run again as scripts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using e2e::Shell;
using e2e::last_line;
using Strings = std::vector<std::string>;

// A recording is a private file of the lines the history took while it ran, and runs again with
// `velc -s`: no password, no line typed with a leading blank, nothing from before it.
TEST(Record, RecordsTheHistoryAndRunsAgainInScriptMode) {
  Emulator sim({"--access", e2e::accounts()});
  const Strings admin = {"--auth", "admin:admin"};
  Shell sh(sim, admin);
  k::test::TempDir dir;
  const std::string file = dir.file("session.velc");
  sh.run("cat Device.Time.NTPServer2");  // before the recording
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(last_line(sh.pty().text()), "admin@velc-record:> ");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // A value that the shell (by the parameter's type) and script mode (as JSON) read alike.
  EXPECT_EQ(sh.run("set Device.Time.Enable=false"), "key = Device.Time.Enable, value = false\nStatus: OK\n");
  std::string printed = sh.run("cat Device.Time.NTPServer1");
  EXPECT_EQ(sh.run("login support -p support"), "");  // a password on the line
  sh.run(" cat Device.DeviceInfo.Manufacturer");      // a leading blank
  size_t from = sh.pty().mark();                      // a password at the prompt
  sh.pty().type("login admin\r");
  ASSERT_TRUE(sh.pty().wait_for("password for admin: ", from)) << sh.pty().text();
  sh.pty().type("admin\r");
  ASSERT_TRUE(sh.pty().wait_for("\nadmin@velc-record:> ", from)) << sh.pty().text();
  printed += sh.run("cat Device.DeviceInfo.ModelName");
  EXPECT_EQ(sh.run("record " + dir.file("other")), "record: already recording.\n");
  // "q" writes the record and ends the recording, not the shell; it is not in the history.
  EXPECT_EQ(sh.run("q"), "");
  EXPECT_EQ(last_line(sh.pty().text()), "admin@velc:> ");
  EXPECT_EQ(e2e::read_file(file), "set Device.Time.Enable=false\ncat Device.Time.NTPServer1\n"
                                  "cat Device.DeviceInfo.ModelName\n# record " + dir.file("other") + "\n");
  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()).find("\nq\n"), std::string::npos);

  // Run back: the same change and readings; the `record` script mode does not know is a comment.
  auto as_admin = [&](Strings args) {
    args.insert(args.begin(), admin.begin(), admin.end());
    return e2e::velc(sim, args);
  };
  ASSERT_EQ(as_admin({"-r", "set", "Device.Time.Enable=true"}).status, 0);
  e2e::Run again = as_admin({"-s", file});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "key = Device.Time.Enable, value = false\nStatus: OK\n" + printed);
  EXPECT_EQ(as_admin({"-r", "cat", "Device.Time.Enable"}).out, "Enable = false\n");
}

// A session that moves with `cd` and names paths from there, and a Lua session, run back with
// `velc -s` and `velc -S` as they ran: `cd` and the other shell-only commands are comments, the
// relative paths are written from the root, the Lua record loads the module the Lua shell had
// preloaded, and an expression typed alone prints its value. A recording the shell's end cuts
// short writes nothing.
TEST(Record, SessionsWithCdAndLuaRunBack) {
  Emulator sim;
  Shell sh(sim);
  k::test::TempDir dir;
  const std::string shell_file = dir.file("shell.velc"), lua_file = dir.file("lua.lua");
  EXPECT_EQ(sh.run("record " + shell_file), "");
  sh.run("cd Device.Time");
  sh.run("set NTPServer1=\"first.example.net\"");
  std::string printed = sh.run("cat ntpserver1");
  sh.run("cd <");
  sh.run("tree Time");
  sh.run("cd DeviceInfo.MemoryStatus");
  printed += sh.run("cat");
  sh.run("q");
  EXPECT_EQ(e2e::read_file(shell_file),
            "# cd Device.Time\nset Device.Time.NTPServer1=\"first.example.net\"\ncat Device.Time.NTPServer1\n"
            "# cd <\n# tree Time\n# cd DeviceInfo.MemoryStatus\ncat Device.DeviceInfo.MemoryStatus.\n");

  sh.run("cd :");  // not recorded: the recording has ended
  EXPECT_EQ(sh.run("luarecord " + lua_file), "> preloaded device\n");
  sh.run("p = 'Device.Time.NTPServer2'");
  sh.run("device.set(p, 'second.example.net')");
  sh.run("x = device.value(p)");
  sh.run("x .. '!'");
  {
    size_t from = sh.pty().mark();
    sh.pty().type(e2e::kCtrlD);
    ASSERT_TRUE(sh.pty().wait_for("velc:> ", from)) << sh.pty().text();
  }
  EXPECT_EQ(sh.run("record " + dir.file("dropped")), "");
  sh.run("pwd");
  sh.quit(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(dir.file("dropped")), "");

  ASSERT_EQ(e2e::velc(sim, {"-r", "set", "Device.Time.NTPServer1=\"x\"", "Device.Time.NTPServer2=\"y\""}).status, 0);
  e2e::Run shell_again = e2e::velc(sim, {"-s", shell_file});
  EXPECT_EQ(shell_again.status, 0);
  EXPECT_EQ(shell_again.out, "key = Device.Time.NTPServer1, value = first.example.net\nStatus: OK\n" + printed);
  EXPECT_EQ(e2e::velc(sim, {"-S", lua_file}).out, "true\nsecond.example.net!\n");
  EXPECT_EQ(e2e::velc(sim, {"-r", "cat", "Device.Time.NTPServer1", "Device.Time.NTPServer2"}).out,
            "NTPServer1 = 'first.example.net'\nNTPServer2 = 'second.example.net'\n");
}

}  // namespace
