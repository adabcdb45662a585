// The login commands: their argument forms, texts and statuses, and what they send.
#include "shell/login_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "shell/test_client.h"
#include "testing/stdin_feed.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;
using testing_support::args;

constexpr const char* kDenied = R"({"code":9001,"message":"Request denied"})";
constexpr const char* kAskAccess = R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})";
constexpr const char* kAdminLogin = R"(Login {"Username":"admin","Password":"pw"})";
// What a refused password sends: the login, the check of the session, and the logout.
const Strings kRefused = {R"(Login {"Username":"admin","Password":"bad"})", R"(Authenticate {"Token":"admin"})",
                          "Logout"};

// A client before a daemon that knows "admin" with "pw", and "alice" without a password.
struct Fixture {
  k::test::ScriptedDaemon daemon{{{kAdminLogin, R"({"Status":0})"}, {R"(Login {"Username":"alice"})", R"({"Status":0})"},
                                  {R"(Login {"Username":"admin","Password":"bad"})", kDenied},
                                  {R"(Authenticate {"Token":"admin"})", kDenied},
                                  {R"(Authenticate {"Token":""})", R"({"Status":0})"},
                                  {"Logout", R"({"Status":0})"}}};
  testing_support::ShellTestClient t;
  Fixture() { t.session.requests.set_destination(daemon.path()); }
};

TEST(LoginCommand, ArgumentForms) {
  struct Case {
    std::vector<const char*> words;
    const char* typed;  // at the password prompt
    int status;
    const char* printed;
    std::optional<std::string> user;
    Strings sent;
  };
  const char* syntax = "syntax: login [<login> [-p <password>]]\n";
  const Case cases[] = {
      {{}, "", 0, "", "alice", {R"(Login {"Username":"alice"})", kAskAccess}},  // $USER
      {{"admin"}, "pw\n", 0, "[velc] password for admin: \n", "admin", {kAdminLogin, kAskAccess}},
      {{"admin", "-p", "pw"}, "", 0, "", "admin", {kAdminLogin, kAskAccess}},
      {{"admin", "-p", "bad"}, "", -1, "Failed to authenticate user\n", std::nullopt, kRefused},
      {{"admin", "-p"}, "", -1, syntax, std::nullopt, {}},
      {{"admin", "-x", "pw"}, "", -1, syntax, std::nullopt, {}},
      {{"admin", "-p", "pw", "x"}, "", -1, syntax, std::nullopt, {}},
  };
  setenv("USER", "alice", 1);
  for (const auto& c : cases) {
    Fixture f;
    StdinFeed keyboard(c.typed);
    EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_login(f.t.shell, "login", args(c.words).get()), c.status); }), c.printed)
        << c.words.size();
    EXPECT_EQ(f.t.session.user, c.user) << c.words.size();
    EXPECT_EQ(f.daemon.take_requests(), c.sent) << c.words.size();
  }
  // Without $USER there is nobody to log in as, and standard error says so.
  unsetenv("USER");
  Fixture f;
  testing::internal::CaptureStderr();
  EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_login(f.t.shell, "login", args({}).get()), -1); }),
            "Failed to authenticate user\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "velc: cannot log in: USER is not set; name the user\n");
  EXPECT_EQ(f.daemon.take_requests(), Strings{});
}

TEST(LogoutCommand, TakesNoArgument) {
  Fixture f;
  f.t.session.user = "admin";
  EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_logout(f.t.shell, "logout", args({"now"}).get()), -1); }),
            "syntax: logout\n");
  EXPECT_EQ(f.t.session.user, "admin");
  EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_logout(f.t.shell, "logout", args({}).get()), 0); }), "");
  EXPECT_EQ(f.t.session.user, std::nullopt);
  EXPECT_EQ(f.daemon.take_requests(), Strings{"Logout"});
}

TEST(LoginIfGuestCommand, OnlyAGuestLogsInAndNothingIsSaid) {
  struct Case {
    std::optional<std::string> before;
    std::vector<const char*> words;
    std::optional<std::string> after;
    Strings sent;
  };
  const Case cases[] = {
      {"bob", {"admin", "pw"}, "bob", {}},  // somebody is logged in: other credentials or not
      {std::nullopt, {"admin", "pw"}, "admin", {kAdminLogin, kAskAccess}},
      {std::nullopt, {"admin", "bad"}, std::nullopt, kRefused},
      {std::nullopt, {}, std::nullopt, {}},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.t.session.user = c.before;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_login_if_guest(f.t.shell, "login_if_guest", args(c.words).get()), 0); }),
              "");
    EXPECT_EQ(f.t.session.user, c.after);
    EXPECT_EQ(f.daemon.take_requests(), c.sent);
  }
}

}  // namespace
