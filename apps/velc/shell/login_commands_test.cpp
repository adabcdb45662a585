// The login commands: their argument forms, texts and statuses, and what they send.
#include "shell/login_commands.h"

#include <gtest/gtest.h>

#include "shell/test_client.h"
#include "testing/stdin_feed.h"

namespace {

using Strings = std::vector<std::string>;
using User = std::optional<std::string>;

constexpr const char* kDenied = R"({"code":9001,"message":"Request denied"})";
constexpr const char* kAskAccess = R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})";
constexpr const char* kAdminLogin = R"(Login {"Username":"admin","Password":"pw"})";
// What a refused password sends: the login, the check of the session, and the logout.
const Strings kRefused = {R"(Login {"Username":"admin","Password":"bad"})", R"(Authenticate {"Token":"admin"})", "Logout"};

// Each command against a daemon that knows "admin" with "pw", and "alice" (the $USER) without
// a password: what it prints, gives, leaves as the user and sends.
TEST(LoginCommands, ArgumentFormsAndOutcomes) {
  const char* syntax = "syntax: login [<login> [-p <password>]]\n";
  // The command, the user before, its words, what is typed at the password prompt, its status,
  // what it prints, the user after, the requests sent.
  const struct { int (*handler)(Client&, const std::string&, json_t*); User before; std::vector<const char*> words;
                 const char* typed; int status; const char* printed; User after; Strings sent; } cases[] = {
      {cmd_login, "bob", {}, "", 0, "", "alice", {R"(Login {"Username":"alice"})", kAskAccess}},
      {cmd_login, {}, {"admin"}, "pw\n", 0, "[velc] password for admin: \n", "admin", {kAdminLogin, kAskAccess}},
      {cmd_login, {}, {"admin", "-p", "pw"}, "", 0, "", "admin", {kAdminLogin, kAskAccess}},
      {cmd_login, "bob", {"admin", "-p", "bad"}, "", -1, "Failed to authenticate user\n", {}, kRefused},
      {cmd_login, "bob", {"admin", "-p"}, "", -1, syntax, "bob", {}},
      {cmd_login, {}, {"admin", "-x", "pw"}, "", -1, syntax, {}, {}},
      {cmd_login, {}, {"admin", "-p", "pw", "x"}, "", -1, syntax, {}, {}},
      {cmd_logout, "admin", {"now"}, "", -1, "syntax: logout\n", "admin", {}},
      {cmd_logout, "admin", {}, "", 0, "", {}, {"Logout"}},
      // login_if_guest logs in only a guest, and says nothing.
      {cmd_login_if_guest, "bob", {"admin", "pw"}, "", 0, "", "bob", {}},
      {cmd_login_if_guest, {}, {"admin", "pw"}, "", 0, "", "admin", {kAdminLogin, kAskAccess}},
      {cmd_login_if_guest, {}, {"admin", "bad"}, "", 0, "", {}, kRefused},
  };
  setenv("USER", "alice", 1);
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon{{{kAdminLogin, R"({"Status":0})"}, {R"(Login {"Username":"alice"})", R"({"Status":0})"},
                                    {R"(Login {"Username":"admin","Password":"bad"})", kDenied},
                                    {R"(Authenticate {"Token":"admin"})", kDenied}, {"Logout", R"({"Status":0})"}}};
    testing_support::ShellTestClient t;
    t.session.requests.set_destination(daemon.path());
    t.session.user = c.before;
    StdinFeed keyboard(c.typed);
    const char* name = c.handler == cmd_logout ? "logout" : "login";
    // The password prompt goes to the terminal (standard output), the rest to the stream.
    std::string prompt = output_of([&] { EXPECT_EQ(c.handler(t.shell, name, testing_support::args(c.words).get()), c.status); });
    EXPECT_EQ(prompt + t.text(), c.printed);
    EXPECT_EQ(t.session.user, c.after) << c.printed;
    EXPECT_EQ(daemon.take_requests(), c.sent) << c.printed;
  }
  // Without $USER there is nobody to log in as, and standard error says so.
  unsetenv("USER");
  testing_support::ShellTestClient t;
  testing::internal::CaptureStderr();
  EXPECT_EQ(t.run(cmd_login, "login", {}), "-1 Failed to authenticate user\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "velc: cannot log in: USER is not set; name the user\n");
}

}  // namespace
