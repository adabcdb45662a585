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
constexpr const char* kAskAccess =
    R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})";

// A client before a daemon that knows "admin" with "pw", and "alice" without a password.
struct Fixture {
  k::test::ScriptedDaemon daemon{
      {{R"(Login {"Username":"admin","Password":"pw"})", R"({"Status":0})"},
       {R"(Login {"Username":"alice"})", R"({"Status":0})"},
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
  const Case cases[] = {
      {{}, "", 0, "", "alice", {R"(Login {"Username":"alice"})", kAskAccess}},  // $USER
      {{"admin"}, "pw\n", 0, "[velc] password for admin: \n", "admin",
       {R"(Login {"Username":"admin","Password":"pw"})", kAskAccess}},
      {{"admin", "-p", "pw"}, "", 0, "", "admin",
       {R"(Login {"Username":"admin","Password":"pw"})", kAskAccess}},
      {{"admin", "-p", "bad"}, "", -1, "Failed to authenticate user\n", std::nullopt,
       {R"(Login {"Username":"admin","Password":"bad"})", R"(Authenticate {"Token":"admin"})",
        "Logout"}},
      {{"admin", "-p"}, "", -1, "syntax: login [<login> [-p <password>]]\n", std::nullopt, {}},
      {{"admin", "-x", "pw"}, "", -1, "syntax: login [<login> [-p <password>]]\n", std::nullopt,
       {}},
      {{"admin", "-p", "pw", "x"}, "", -1, "syntax: login [<login> [-p <password>]]\n",
       std::nullopt, {}},
  };
  setenv("USER", "alice", 1);
  for (const auto& c : cases) {
    Fixture f;
    k::Json a = args(c.words);
    StdinFeed keyboard(c.typed);
    StdoutCapture out;
    EXPECT_EQ(cmd_login(f.t.shell, "login", a.get()), c.status) << c.words.size();
    EXPECT_EQ(out.finish(), c.printed) << c.words.size();
    EXPECT_EQ(f.t.session.user, c.user) << c.words.size();
    EXPECT_EQ(f.daemon.take_requests(), c.sent) << c.words.size();
  }
  // Without $USER there is nobody to log in as, and standard error says so.
  unsetenv("USER");
  Fixture f;
  k::Json none = args({});
  testing::internal::CaptureStderr();
  EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_login(f.t.shell, "login", none.get()), -1); }),
            "Failed to authenticate user\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "velc: cannot log in: USER is not set; name the user\n");
  EXPECT_EQ(f.daemon.take_requests(), Strings{});
}

TEST(LogoutCommand, TakesNoArgument) {
  Fixture f;
  f.t.session.user = "admin";
  k::Json extra = args({"now"});
  EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_logout(f.t.shell, "logout", extra.get()), -1); }),
            "syntax: logout\n");
  EXPECT_EQ(f.t.session.user, "admin");
  k::Json none = args({});
  EXPECT_EQ(output_of([&] { EXPECT_EQ(cmd_logout(f.t.shell, "logout", none.get()), 0); }), "");
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
      {std::nullopt, {"admin", "pw"}, "admin",
       {R"(Login {"Username":"admin","Password":"pw"})", kAskAccess}},
      {std::nullopt, {"admin", "bad"}, std::nullopt,
       {R"(Login {"Username":"admin","Password":"bad"})", R"(Authenticate {"Token":"admin"})",
        "Logout"}},
      {std::nullopt, {}, std::nullopt, {}},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.t.session.user = c.before;
    k::Json a = args(c.words);
    EXPECT_EQ(output_of([&] {
                EXPECT_EQ(cmd_login_if_guest(f.t.shell, "login_if_guest", a.get()), 0);
              }),
              "");
    EXPECT_EQ(f.t.session.user, c.after);
    EXPECT_EQ(f.daemon.take_requests(), c.sent);
  }
}

}  // namespace
