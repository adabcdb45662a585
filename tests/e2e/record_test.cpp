// Session recording end to end: `record` in the shell on a terminal against veld-sim, the file it
// writes, and that file run again in script mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/shell_session.h"
#include "testing/temp_dir.h"

namespace {

using e2e::Emulator;
using e2e::Shell;
using e2e::last_line;

// An emulator with the default model's accounts (admin, support).
Emulator with_accounts() {
  return Emulator({"--access", e2e::source_dir() + "/models/home-router.json"});
}

// A recording holds the lines the history took while it ran, and runs again with `velc -s`:
// no password, no line typed with a leading blank, nothing from before it.
TEST(Record, RecordsTheHistoryAndRunsAgainInScriptMode) {
  Emulator sim = with_accounts();
  const std::vector<std::string> admin = {"--auth", "admin:admin"};
  Shell sh(sim, admin);
  k::test::TempDir dir;
  const std::string file = dir.file("session.velc");
  sh.run("cat Device.Time.NTPServer2");  // before the recording
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(last_line(sh.pty().text()), "admin@velc-record:> ");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(e2e::read_file(file), "");

  // A value that the shell (by the parameter's type) and script mode (as JSON) read alike.
  EXPECT_EQ(sh.run("set Device.Time.Enable=false"),
            "key = Device.Time.Enable, value = false\nStatus: OK\n");
  std::string printed = sh.run("cat Device.Time.NTPServer1");
  EXPECT_EQ(sh.run("login support -p support"), "");  // a password on the line
  EXPECT_EQ(last_line(sh.pty().text()), "support@velc-record:> ");
  sh.run(" cat Device.DeviceInfo.Manufacturer");  // a leading blank
  // A password typed at the password prompt (not echoed).
  size_t from = sh.pty().mark();
  sh.pty().type("login admin\r");
  ASSERT_TRUE(sh.pty().wait_for("password for admin: ", from)) << sh.pty().text();
  sh.pty().type("admin\r");
  ASSERT_TRUE(sh.pty().wait_for("\nadmin@velc-record:> ", from)) << sh.pty().text();
  printed += sh.run("cat Device.DeviceInfo.ModelName");
  EXPECT_EQ(sh.run("record " + dir.file("other")), "record: already recording.\n");

  // "q" writes the record and ends the recording, not the shell.
  EXPECT_EQ(sh.run("q"), "");
  EXPECT_EQ(last_line(sh.pty().text()), "admin@velc:> ");
  const std::string recorded =
      "set Device.Time.Enable=false\n"
      "cat Device.Time.NTPServer1\n"
      "cat Device.DeviceInfo.ModelName\n"
      "# record " + dir.file("other") + "\n";
  EXPECT_EQ(e2e::read_file(file), recorded);
  EXPECT_EQ(sh.run("pwd"), ":\n");
  sh.quit("q\r");
  // "q" is not in the history either.
  EXPECT_EQ(e2e::read_file(sh.history()).find("\nq\n"), std::string::npos);

  // Run back: the same changes and readings; script mode shows the value as typed, and the
  // `record` it does not know is a comment.
  std::vector<std::string> args = admin;
  args.insert(args.end(), {"-r", "set", "Device.Time.Enable=true"});
  ASSERT_EQ(e2e::velc(sim, args).status, 0);
  args = admin;
  args.insert(args.end(), {"-s", file});
  e2e::Run again = e2e::velc(sim, args);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "key = Device.Time.Enable, value = false\nStatus: OK\n" + printed);
  args = admin;
  args.insert(args.end(), {"-r", "cat", "Device.Time.Enable"});
  EXPECT_EQ(e2e::velc(sim, args).out, "Enable = false\n");
}

// A session that moves with `cd` and names paths from there, and a Lua session, run back with
// `velc -s` and `velc -S` as they ran: `cd` and the other shell-only commands are comments, the
// relative paths are written from the root, the Lua record loads the module the Lua shell had
// preloaded, and an expression typed alone prints its value.
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
            "# cd Device.Time\n"
            "set Device.Time.NTPServer1=\"first.example.net\"\n"
            "cat Device.Time.NTPServer1\n"
            "# cd <\n"
            "# tree Time\n"
            "# cd DeviceInfo.MemoryStatus\n"
            "cat Device.DeviceInfo.MemoryStatus.\n");

  sh.run("cd :");  // not recorded: the recording has ended
  EXPECT_EQ(sh.run("luarecord " + lua_file), "> preloaded device\n");
  sh.run("p = 'Device.Time.NTPServer2'");
  sh.run("device.set(p, 'second.example.net')");
  sh.run("x = device.value(p)");
  sh.run("x .. '!'");
  sh.quit(std::string(e2e::kCtrlD) + "q\r");

  ASSERT_EQ(e2e::velc(sim, {"-r", "set", "Device.Time.NTPServer1=\"x\"",
                            "Device.Time.NTPServer2=\"y\""})
                .status,
            0);
  e2e::Run shell_again = e2e::velc(sim, {"-s", shell_file});
  EXPECT_EQ(shell_again.status, 0);
  EXPECT_EQ(shell_again.out,
            "key = Device.Time.NTPServer1, value = first.example.net\nStatus: OK\n" + printed);
  e2e::Run lua_again = e2e::velc(sim, {"-S", lua_file});
  EXPECT_EQ(lua_again.out, "true\nsecond.example.net!\n");
  EXPECT_EQ(e2e::velc(sim, {"-r", "cat", "Device.Time.NTPServer1", "Device.Time.NTPServer2"}).out,
            "NTPServer1 = 'first.example.net'\nNTPServer2 = 'second.example.net'\n");
}

// Aborting, the wrong ways of calling `record`, and ending the shell while recording: nothing is
// written.
TEST(Record, AbortFailuresAndCtrlDWriteNothing) {
  Emulator sim;
  Shell sh(sim);
  k::test::TempDir dir;
  const std::string aborted = dir.file("aborted"), dropped = dir.file("dropped");
  EXPECT_EQ(sh.run("record abort"), "record: no record found.\n");
  EXPECT_EQ(sh.run("record"), "syntax: record <filename>|abort\n");
  EXPECT_EQ(sh.run("record " + dir.file("no/such")),
            "record: can't create record file " + dir.file("no/such") + ".\n");
  EXPECT_EQ(last_line(sh.pty().text()), "velc:> ");

  EXPECT_EQ(sh.run("record " + aborted), "");
  sh.run("cd Device");
  EXPECT_EQ(sh.run("record abort"), "");
  EXPECT_EQ(last_line(sh.pty().text()), "velc:Device> ");
  EXPECT_EQ(e2e::read_file(aborted), "");

  EXPECT_EQ(sh.run("record " + dropped), "");
  EXPECT_EQ(last_line(sh.pty().text()), "velc-record:Device> ");
  sh.run("pwd");
  sh.quit(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(dropped), "");
}

}  // namespace
