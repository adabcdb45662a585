// Logging in end to end, in one place: every way of logging in and what a failed login does to
// the run, the shell's own logins and what each user then sees, passwords on a terminal and in
// the argument vector.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

TEST(Login, EachWayOfLoggingInAndEachFailure) {
  const bool root = getuid() == 0;  // root may take any account without a password
  Emulator sim({"--access", e2e::accounts()});
  std::string mine = sim.dir().file("password"), open = sim.dir().file("open-password");
  e2e::write_file(mine, "admin\n");
  e2e::write_file(open, "admin\n");
  chmod(mine.c_str(), 0600);
  chmod(open.c_str(), 0644);
  const std::string admin = "CurrentUser = 'admin'\n", token = "kr4200-admin-7c1e9b3a5d2f4e68";
  const Strings by_password = {"Login", "GetParameterValues", "GetParameterValues"};
  const Strings by_token = {"Login", "Authenticate", "GetParameterValues", "GetParameterValues",
                            "GetParameterValues"};
  const Strings refused = {"Login", "Authenticate", "Logout"};
  const std::string bad_password = "velc: cannot log in as admin: wrong user name or password\n";
  const std::string bad_token =
      "velc: cannot log in: refused as a user without a password and as a token\n";
  const struct {
    Strings args;  // before "-r cat Device.Users.CurrentUser", unless they hold "-r"
    Strings env;
    int status;
    std::string out;
    Strings sent;
    std::string err = "";
  } cases[] = {
      {{"--auth", "admin:admin"}, {}, 0, admin, by_password},
      {{"--auth", token}, {}, 0, admin, by_token},  // refused as a user: taken as a token
      {{"--auth", token}, {"VELC_PASSWORD=admin"}, 0, admin, by_token},
      // Refused both ways: the run ends with 1 before the mode; no password asked off a terminal.
      {{"--auth", "admin:wrong"}, {}, 1, "", refused, bad_password},
      {{"--auth", "no-such-token"}, {}, 1, "", refused, bad_token},
      // The password from the environment or a file; one on the command line comes first.
      {{"--auth", "admin"}, {"VELC_PASSWORD=admin"}, 0, admin, by_password},
      {{"--auth", "admin:admin"}, {"VELC_PASSWORD=wrong"}, 0, admin, by_password},
      {{"--auth", "admin", "--password-file", mine}, {"VELC_PASSWORD=wrong"}, 0, admin, by_password},
      {{"--auth", "admin", "--password-file", open}, {}, 1, "", {},
       "velc: the password file " + open + " is not used: others may read it\n"},
      {{}, {}, 0, "[9001] Request denied: nobody is logged in\n", {"GetParameterValues"}},
      // The login command: a failure is the command's, not the run's.
      {{"-r", "login", "--", "support", "-p", "support"}, {}, 0, "", {"Login", "GetParameterValues"}},
      {{"-r", "login", "--", "support", "-p", "nope"}, {}, 255, "Failed to authenticate user\n",
       refused, "velc: cannot log in as support: wrong user name or password\n"},
      {{"-r", "login"}, {"USER=admin"}, root ? 0 : 255, root ? "" : "Failed to authenticate user\n",
       root ? Strings{"Login", "GetParameterValues"} : refused, root ? "" : bad_token},
  };
  for (const auto& c : cases) {
    Strings args = c.args;
    if (std::find(args.begin(), args.end(), "-r") == args.end())
      args.insert(args.end(), {"-r", "cat", "Device.Users.CurrentUser"});
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, args, "", c.env);
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(e2e::methods(sim), c.sent);
  }
  // A daemon that does not answer in time: waited for once, not again as a token or a logout.
  Emulator slow({"--delay", "6000"});
  e2e::Run r = e2e::velc(slow, {"-a", "admin:admin", "-r", "cat", "Device."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "velc: cannot log in as admin: veld did not answer within 5 s\n");
  EXPECT_EQ(e2e::methods(slow), Strings{"Login"});
}

// The shell logs in as the local system user by itself, when the daemon has such an account and
// the peer's credentials prove the name; otherwise it stays a guest without a word.
TEST(Login, TheShellLogsInAsTheLocalUser) {
  passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  const std::string me = pw->pw_name;
  Emulator plain({"--access", e2e::accounts()});
  e2e::Run guest = e2e::velc(plain, {}, "pwd\n");
  EXPECT_NE(guest.out.find("\nvelc:> pwd\n"), std::string::npos) << guest.out;
  EXPECT_EQ(guest.status, 0);

  std::string file = plain.dir().file("access.json");
  e2e::write_file(file, R"({"#access": {"guest": {}, "users": {")" + me +
                            R"(": {"rights": {"Device.DeviceInfo.": "r"}}}}})");
  Emulator mine({"--access", file});
  e2e::Run run = e2e::velc(mine, {}, "ls Device\n");
  EXPECT_NE(run.out.find("\n" + me + "@velc:> ls Device\nDevice.DeviceInfo.  Device.Users.\n"),
            std::string::npos) << run.out;
  Strings logins = e2e::sent(mine, "Login");
  ASSERT_EQ(logins.size(), 1u);  // without a password
  EXPECT_NE(logins[0].find(R"("Username":")" + me + "\"}"), std::string::npos) << logins[0];
}

// Each change of user refreshes the schema cache, the prompt and what writes are allowed
// (support sees of Device.Users only its own identity); a password typed at the prompt is
// not echoed.
TEST(Login, TheShellShowsEachUserHisPartOfTheModel) {
  Emulator sim({"--access", e2e::accounts()});
  e2e::Run run = e2e::velc(sim, {"--auth", "admin:admin"},
                           "login support -p support\ncatree Device.Users\n"
                           "set Device.Time.Enable=false\nset Device.WiFi.SSID.1.SSID=attic\n"
                           "logout\nlogin support -p nope\nls Device\n"
                           "login admin\nadmin\ncat Device.Users.CurrentUser\n");
  EXPECT_EQ(run.out.substr(run.out.find("admin@velc:> ")),
            "admin@velc:> login support -p support\n"
            "support@velc:> catree Device.Users\n"
            "Device.Users.\n├── CurrentUser  = 'support'\n└── SystemAccess = false\n"
            "support@velc:> set Device.Time.Enable=false\n"
            "key = Device.Time.Enable, value = false\n"
            "[9001] Request denied: no parameter was changed\n"
            "Device.Time.Enable: \"9001 Request denied\"\n"
            "support@velc:> set Device.WiFi.SSID.1.SSID=attic\n"
            "key = Device.WiFi.SSID.1.SSID, value = attic\nStatus: OK\n"
            "support@velc:> logout\n"
            "velc:> login support -p nope\nFailed to authenticate user\n"
            "velc:> ls Device\nDevice.DeviceInfo.  Device.Users.\n"
            "velc:> login admin\n[velc] password for admin: \n"
            "admin@velc:> cat Device.Users.CurrentUser\nCurrentUser = 'admin'\n"
            "admin@velc:> \n");
  EXPECT_EQ(run.err, "velc: cannot log in as support: wrong user name or password\n");
  EXPECT_EQ(run.status, 0);
}

// On a terminal, -a with a user alone that veld refuses without a password asks for it, without
// echo. (Over TCP veld knows nobody by the peer's credentials.)
TEST(Login, PasswordAskedForOnATerminal) {
  Emulator sim({"--access", e2e::accounts(), "--tcp", "127.0.0.1:0"});
  k::test::TempDir home;
  e2e::Pty pty(e2e::bin_dir() + "/velc", {"-u", sim.tcp(), "-a", "support"},
               {"HOME=" + home.path(), "VELC_HISTFILE=" + home.file("history"), "NO_COLOR=1"});
  ASSERT_TRUE(pty.wait_for("[velc] password for support: ", 0)) << pty.text();
  pty.type("support\r");
  EXPECT_TRUE(pty.wait_until(e2e::ends_with_prompt)) << pty.text();
  EXPECT_EQ(e2e::last_line(pty.text()), "support@velc:> ");
  EXPECT_NE(pty.text().find("[velc] password for support: \n"), std::string::npos) << pty.text();
  pty.type("q\r");
  EXPECT_EQ(pty.wait_exit(), 0);
}

// A password given on the command line is gone from the argument vector (which every local user
// can read) once velc runs.
TEST(Login, PasswordBlankedFromTheArgumentVector) {
  Emulator sim({"--access", e2e::accounts()});
  pid_t listener = e2e::start_velc(sim, {"-a", "admin:admin", "-l"}, sim.dir().file("out"));
  ASSERT_TRUE(e2e::eventually([&] { return !sim.requests().empty(); }));  // past the command line
  std::string cmdline = e2e::read_file("/proc/" + std::to_string(listener) + "/cmdline");
  kill(listener, SIGTERM);
  e2e::wait_exit_status(listener);
  EXPECT_NE(cmdline.find(std::string("-l") + '\0'), std::string::npos) << "not read";
  EXPECT_EQ(cmdline.find("admin:admin"), std::string::npos);
  EXPECT_NE(cmdline.find(std::string("admin:") + '\0'), std::string::npos);
}

}  // namespace
