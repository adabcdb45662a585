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
// `velc -s` from the root: no password, no line typed with a leading blank, nothing from before
// it; "q" writes it and ends the recording, not the shell.
TEST(Record, ASessionRunsBack) {
  Emulator sim({"--access", e2e::accounts()});
  Shell sh(sim, {"--auth", "admin:admin"});
  k::test::TempDir dir;
  const std::string file = dir.file("session.velc");
  sh.run("cat Device.Time.NTPServer2");  // before the recording
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(last_line(sh.pty().text()), "admin@velc-record:> ");
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(sh.run("login support -p support"), "");  // a password on the line
  sh.run(" cat Device.DeviceInfo.Manufacturer");      // a leading blank
  sh.pty().type("login admin\r");
  ASSERT_TRUE(sh.pty().wait_for("password for admin: ", 0)) << sh.pty().text();
  sh.keys("admin\r");  // a password at the prompt
  sh.run("cd Device.Time");
  EXPECT_EQ(sh.run("set Enable=false"), "key = Enable, value = false\nStatus: OK\n");
  std::string printed = sh.run("cat ntpserver1");
  EXPECT_EQ(sh.run("q"), "");
  EXPECT_EQ(last_line(sh.pty().text()), "admin@velc:Device.Time> ");
  EXPECT_EQ(e2e::read_file(file), "# cd Device.Time\nset Device.Time.Enable=false\ncat Device.Time.NTPServer1\n");

  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()).find("\nq\n"), std::string::npos);

  auto as_admin = [&](Strings args) {
    args.insert(args.begin(), {"--auth", "admin:admin"});
    return e2e::velc(sim, args);
  };
  ASSERT_EQ(as_admin({"-r", "set", "Device.Time.Enable=true"}).status, 0);
  e2e::Run again = as_admin({"-s", file});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "key = Device.Time.Enable, value = false\nStatus: OK\n" + printed);
  EXPECT_EQ(as_admin({"-r", "cat", "Device.Time.Enable"}).out, "Enable = false\n");
}

}  // namespace
