// Logging in end to end, in one place: the ways of logging in and what a failed login does to
// the run, the shell's own logins and what each user then sees, passwords on a terminal and in
// the argument vector.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

TEST(Login, EachWayOfLoggingInAndEachFailure) {
  Emulator sim({"--access", e2e::accounts()});
  const std::string admin = "CurrentUser = 'admin'\n";
  const Strings refused = {"Login", "Authenticate", "Logout"};
  const struct {
    Strings args;  // before "-r cat Device.Users.CurrentUser"
    int status;
    std::string out;
    Strings sent;
    std::string err = "";
  } cases[] = {
      {{"--auth", "admin:admin"}, 0, admin, {"Login", "GetParameterValues", "GetParameterValues"}},
      // Refused as a user: taken as a token.
      {{"--auth", "kr4200-admin-7c1e9b3a5d2f4e68"}, 0, admin,
       {"Login", "Authenticate", "GetParameterValues", "GetParameterValues", "GetParameterValues"}},
      // Refused both ways: the run ends with 1 before the mode; no password asked off a terminal.
      {{"--auth", "admin:wrong"}, 1, "", refused, "velc: cannot log in as admin: wrong user name or password\n"},
      {{}, 0, "[9001] Request denied: nobody is logged in\n", {"GetParameterValues"}},
  };
  for (const auto& c : cases) {
    Strings args = c.args;
    args.insert(args.end(), {"-r", "cat", "Device.Users.CurrentUser"});
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, args);
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(e2e::methods(sim), c.sent);
  }
}

// Each change of user refreshes the schema cache, the prompt and what writes are allowed
// (support sees of Device.Users only its own identity); a password typed at the prompt is
// not echoed.
TEST(Login, TheShellShowsEachUserHisPartOfTheModel) {
  Emulator sim({"--access", e2e::accounts()});
  e2e::Run run = e2e::velc(sim, {"--auth", "admin:admin"},
                           "login support -p support\ncatree Device.Users\nset Device.Time.Enable=false\n"
                           "logout\nls Device\nlogin admin\nadmin\n");
  EXPECT_EQ(run.out.substr(run.out.find("admin@velc:> ")),
            "admin@velc:> login support -p support\n"
            "support@velc:> catree Device.Users\n"
            "Device.Users.\n├── CurrentUser  = 'support'\n└── SystemAccess = false\n"
            "support@velc:> set Device.Time.Enable=false\n"
            "key = Device.Time.Enable, value = false\n"
            "[9001] Request denied: no parameter was changed\n"
            "Device.Time.Enable: \"9001 Request denied\"\n"
            "support@velc:> logout\n"
            "velc:> ls Device\nDevice.DeviceInfo.  Device.Users.\n"
            "velc:> login admin\n[velc] password for admin: \n"
            "admin@velc:> \n");
  EXPECT_EQ(run.status, 0);
}

// On a terminal, -a with a user alone that veld refuses without a password asks for it, without
// echo. (Over TCP veld knows nobody by the peer's credentials.) A password given on the command
// line is gone from the argument vector (which every local user can read) once velc runs.
TEST(Login, PasswordsOnATerminalAndInTheArgumentVector) {
  Emulator sim({"--access", e2e::accounts(), "--tcp", "127.0.0.1:0"});
  k::test::TempDir home;
  e2e::Pty pty(e2e::bin_dir() + "/velc", {"-u", sim.tcp(), "-a", "support"},
               {"HOME=" + home.path(), "VELC_HISTFILE=" + home.file("history"), "NO_COLOR=1"});
  ASSERT_TRUE(pty.wait_for("[velc] password for support: ", 0)) << pty.text();
  pty.type("support\r");
  EXPECT_TRUE(pty.wait_for("[velc] password for support: \n", 0)) << pty.text();
  EXPECT_TRUE(pty.wait_until([](const std::string& s) { return e2e::last_line(s) == "support@velc:> "; }));

  sim.clear_requests();
  pid_t listener = e2e::start_velc(sim, {"-a", "admin:admin", "-l"}, sim.dir().file("out"));
  ASSERT_TRUE(e2e::eventually([&] { return !sim.requests().empty(); }));  // past the command line
  std::string cmdline = e2e::read_file("/proc/" + std::to_string(listener) + "/cmdline");
  kill(listener, SIGTERM);
  e2e::wait_exit_status(listener);
  EXPECT_NE(cmdline.find(std::string("-l") + '\0'), std::string::npos) << "not read";
  EXPECT_NE(cmdline.find(std::string("admin:") + '\0'), std::string::npos) << cmdline;
}

}  // namespace
