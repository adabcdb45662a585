// Logins and rights end to end against veld-sim serving the default model's accounts: every way
// of logging in, what a failed one does to the run, and what each user sees and may change.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"
#include "platform/json.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

constexpr const char* kAdminToken = "kr4200-admin-7c1e9b3a5d2f4e68";

// An emulator with the accounts of the default model (admin, support, guests reading little).
Emulator with_accounts(const std::string& access_file = "") {
  return Emulator(
      {"--access", access_file.empty() ? e2e::source_dir() + "/models/home-router.json" : access_file});
}

// The methods veld-sim received, group joins left out.
Strings methods(const Emulator& sim) {
  Strings out;
  for (const std::string& line : sim.requests()) {
    std::string method = k::json_text(k::json_parse(line).get(), "method");
    if (method != "JoinGroup") out.push_back(method);
  }
  return out;
}

std::string local_user() {
  passwd* pw = getpwuid(getuid());
  return pw ? pw->pw_name : "";
}

TEST(Login, EachWayOfLoggingInInRequestMode) {
  // Asking for the user's own name shows who the run is logged in as.
  const Strings who = {"-r", "cat", "Device.Users.CurrentUser"};
  auto with = [&](Strings head) {
    head.insert(head.end(), who.begin(), who.end());
    return head;
  };
  // A password-less login of another account: root may take any, anybody else none.
  bool root = getuid() == 0;
  Emulator sim = with_accounts();
  // Password files: the owner's alone, and one others may read.
  std::string mine = sim.dir().file("password"), open = sim.dir().file("open-password");
  std::ofstream(mine) << "admin\n";
  std::ofstream(open) << "admin\n";
  chmod(mine.c_str(), 0600);
  chmod(open.c_str(), 0644);
  const std::string admin_ok = "CurrentUser = 'admin'\n";
  const Strings password_login = {"Login", "GetParameterValues", "GetParameterValues"};
  const Strings refused = {"Login", "Authenticate", "Logout"};
  const struct {
    Strings args;
    Strings env;
    int status;
    std::string out;
    Strings sent;
    std::string err = "";
  } cases[] = {
      {with({"--auth", "admin:admin"}), {}, 0, "CurrentUser = 'admin'\n",
       {"Login", "GetParameterValues", "GetParameterValues"}},
      // A text refused as a user is taken as a token.
      {with({"--auth", kAdminToken}), {}, 0, "CurrentUser = 'admin'\n",
       {"Login", "Authenticate", "GetParameterValues", "GetParameterValues", "GetParameterValues"}},
      // Refused both ways: the run ends with 1, and standard error says why. Without a terminal
      // no password is asked for.
      {with({"--auth", "admin:wrong"}), {}, 1, "", refused,
       "velc: cannot log in as admin: wrong user name or password\n"},
      {with({"--auth", "no-such-token"}), {}, 1, "", refused,
       "velc: cannot log in: refused as a user without a password and as a token\n"},
      // The password from the environment or a file; one on the command line comes first.
      {with({"--auth", "admin"}), {"VELC_PASSWORD=admin"}, 0, admin_ok, password_login},
      {with({"--auth", "admin:admin"}), {"VELC_PASSWORD=wrong"}, 0, admin_ok, password_login},
      {with({"--auth", "admin", "--password-file", mine}), {"VELC_PASSWORD=wrong"}, 0, admin_ok,
       password_login},
      {with({"--auth", "admin", "--password-file", open}), {}, 1, "", {},
       "velc: the password file " + open + " is not used: others may read it\n"},
      // A token stays a token with a password around.
      {with({"--auth", kAdminToken}), {"VELC_PASSWORD=admin"}, 0, admin_ok,
       {"Login", "Authenticate", "GetParameterValues", "GetParameterValues", "GetParameterValues"}},
      // Nobody logged in: a guest has no name.
      {who, {}, 0, "[9001] Request denied: nobody is logged in\n", {"GetParameterValues"}},
      {{"-r", "login", "--", "support", "-p", "support"}, {}, 0, "", {"Login", "GetParameterValues"}},
      {{"-r", "login", "--", "support", "-p", "nope"}, {}, 255, "Failed to authenticate user\n",
       refused, "velc: cannot log in as support: wrong user name or password\n"},
      {{"-r", "login"}, {"USER=admin"}, root ? 0 : 255, root ? "" : "Failed to authenticate user\n",
       root ? Strings{"Login", "GetParameterValues"} : refused,
       root ? "" : "velc: cannot log in: refused as a user without a password and as a token\n"},
  };
  for (const auto& c : cases) {
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, c.args, "", c.env);
    std::string label;
    for (const std::string& word : c.args) label += word + " ";
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.out, c.out) << label;
    EXPECT_EQ(run.err, c.err) << label;
    EXPECT_EQ(methods(sim), c.sent) << label;
  }
}

// The shell logs in as the local system user by itself, when the daemon has such an account and
// the peer's credentials prove the name; otherwise it stays a guest without a word.
TEST(Login, TheShellLogsInAsTheLocalUser) {
  std::string me = local_user();
  ASSERT_FALSE(me.empty());
  Emulator plain = with_accounts();  // no account has the local user's name
  e2e::Run guest = e2e::velc(plain, {}, "pwd\n");
  EXPECT_NE(guest.out.find("\nvelc:> pwd\n"), std::string::npos) << guest.out;
  EXPECT_EQ(guest.status, 0);

  std::string file = plain.dir().file("access.json");
  std::ofstream(file) << R"({"#access": {"guest": {}, "users": {")" << me
                      << R"(": {"rights": {"Device.DeviceInfo.": "r"}}}}})";
  Emulator mine = with_accounts(file);
  e2e::Run run = e2e::velc(mine, {}, "ls Device\n");
  EXPECT_NE(run.out.find("\n" + me + "@velc:> ls Device\nDevice.DeviceInfo.  Device.Users.\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(methods(mine)[0], "Login");
  EXPECT_NE(mine.requests()[1].find(R"("Username":")" + me + "\"}"), std::string::npos)
      << "the local user logs in without a password: " << mine.requests()[1];
}

// What a user sees follows the user: each change of user refreshes the schema cache, the prompt
// and what writes are allowed (support sees of Device.Users only its own identity, not the
// accounts table); a password typed at the prompt is not echoed.
TEST(Rights, TheShellShowsEachUserHisPartOfTheModel) {
  Emulator sim = with_accounts();
  e2e::Run run = e2e::velc(sim, {"--auth", "admin:admin"},
                           "ls Device.Users\n"
                           "login support -p support\n"
                           "ls Device\n"
                           "catree Device.Users\n"
                           "set Device.Time.Enable=false\n"
                           "set Device.WiFi.SSID.1.SSID=attic\n"
                           "logout\n"
                           "login support -p nope\n"
                           "ls Device\n"
                           "login admin\nadmin\n"
                           "cat Device.Users.CurrentUser\n");
  std::string out = run.out.substr(run.out.find("admin@velc:> "));
  EXPECT_EQ(out,
            "admin@velc:> ls Device.Users\n"
            "Device.Users.CurrentUser          Device.Users.User.\n"
            "Device.Users.SystemAccess         Device.Users.UserNumberOfEntries\n"
            "admin@velc:> login support -p support\n"
            "support@velc:> ls Device\n"
            "Device.DHCPv4.            Device.Hosts.             Device.System.\n"
            "Device.DeviceInfo.        Device.IP.                Device.Time.\n"
            "Device.Ethernet.          Device.ManagementServer.  Device.Users.\n"
            "Device.Firewall.          Device.NAT.               Device.WiFi.\n"
            "support@velc:> catree Device.Users\n"
            "Device.Users.\n"
            "├── CurrentUser  = 'support'\n"
            "└── SystemAccess = false\n"
            "support@velc:> set Device.Time.Enable=false\n"
            "key = Device.Time.Enable, value = false\n"
            "[9001] Request denied: no parameter was changed\n"
            "Device.Time.Enable: \"9001 Request denied\"\n"
            "support@velc:> set Device.WiFi.SSID.1.SSID=attic\n"
            "key = Device.WiFi.SSID.1.SSID, value = attic\n"
            "Status: OK\n"
            "support@velc:> logout\n"
            "velc:> login support -p nope\n"
            "Failed to authenticate user\n"
            "velc:> ls Device\n"
            "Device.DeviceInfo.  Device.Users.\n"
            "velc:> login admin\n"
            "[velc] password for admin: \n"
            "admin@velc:> cat Device.Users.CurrentUser\n"
            "CurrentUser = 'admin'\n"
            "admin@velc:> \n");
  EXPECT_EQ(run.err, "velc: cannot log in as support: wrong user name or password\n");
  EXPECT_EQ(run.status, 0);
}

// On a terminal, -a with a user alone that veld refuses without a password asks for it, without
// echo, and logs in with the answer.
TEST(Passwords, AskedForOnATerminalWhenTheUserAloneIsRefused) {
  // Over TCP veld knows nobody by the peer's credentials (over the UNIX socket root may take any
  // account without a password).
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json", "--tcp", "127.0.0.1:0"});
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

// A password given on the command line is not in the process's argument vector, which every
// local user can read (ps, /proc/PID/cmdline), once velc runs.
TEST(Passwords, BlankedFromTheArgumentVector) {
  Emulator sim = with_accounts();
  k::test::TempDir dir;
  pid_t listener = e2e::start_velc(sim, {"-a", "admin:admin", "-l"}, dir.file("out"));
  // Its first request comes after the command line was read.
  for (int i = 0; i < 300 && sim.requests().empty(); ++i) usleep(20000);
  std::string cmdline = e2e::read_file("/proc/" + std::to_string(listener) + "/cmdline");
  kill(listener, SIGTERM);
  e2e::wait_exit_status(listener);
  EXPECT_NE(cmdline.find(std::string("-l") + '\0'), std::string::npos) << "not read";
  EXPECT_EQ(cmdline.find("admin:admin"), std::string::npos);
  EXPECT_NE(cmdline.find(std::string("admin:") + '\0'), std::string::npos);
}

}  // namespace
