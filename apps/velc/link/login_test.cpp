// Logging in and out against a daemon scripted request by request: what is sent, in which order,
// and what the session then says.
#include "link/login.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "testing/stdout_capture.h"
#include "testing/test_peer.h"

namespace {

using k::test::ScriptedDaemon;
using Strings = std::vector<std::string>;

constexpr const char* kOk = R"({"Status":0})";
constexpr const char* kAskUser =
    R"(GetParameterValues {"ParameterNames":["Device.Users.CurrentUser"]})";
constexpr const char* kAskAccess =
    R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})";

std::string value_list(const char* name, const char* value) {
  return std::string(R"({"ParameterList":[{"Name":")") + name + R"(","Value":)" + value + "}]}";
}

// "admin" logs in with "pw" and has system access; "tok" is alice's token. Anything else is
// refused.
std::map<std::string, std::string> users() {
  return {{R"(Login {"Username":"admin","Password":"pw"})", R"({"Status":0,"User":"admin"})"},
          {R"(Authenticate {"Token":"tok"})", R"({"Status":0,"User":"alice"})"},
          {R"(Authenticate {"Token":""})", kOk},
          {"Logout", kOk}};
}

struct LoggedSession {
  ScriptedDaemon daemon{users()};
  Session session;
  LoggedSession() { session.requests.set_destination(daemon.path()); }
};

// Who the session then is: "<user> [access] [token]"; "-" for nobody.
std::string who(const Session& s) {
  // Only a token can be presented again on a new connection.
  bool renewable = (s.requests.flags() & k::kFlagSessionLogin) == 0;
  return s.user.value_or("-") + (s.system_access ? " access" : "") + (renewable ? " token" : "");
}

TEST(UserLogin, APasswordThenTheSameTextAsATokenAndTheLogout) {
  const struct {
    const char* login;
    std::optional<std::string> password;
    const char* current_user;  // veld's answer about the token's user (none: refused)
    const char* access;        // veld's answer about the user's system access (none: refused)
    const char* who;
    Strings sent;
  } cases[] = {
      {"admin", "pw", nullptr, "true", "admin access", {R"(Login {"Username":"admin","Password":"pw"})", kAskAccess}},
      {"tok", std::nullopt, R"("alice")", nullptr, "alice token",
       {R"(Login {"Username":"tok"})", R"(Authenticate {"Token":"tok"})", kAskUser, kAskAccess}},
      {"admin", "bad", nullptr, nullptr, "-",
       {R"(Login {"Username":"admin","Password":"bad"})", R"(Authenticate {"Token":"admin"})", "Logout"}},
  };
  for (const auto& c : cases) {
    LoggedSession s;
    if (c.current_user) s.daemon.reply(kAskUser, value_list("Device.Users.CurrentUser", c.current_user));
    if (c.access) s.daemon.reply(kAskAccess, value_list("Device.Users.SystemAccess", c.access));
    StdoutCapture out;
    EXPECT_EQ(user_login(s.session, c.login, c.password), *c.who == '-' ? -1 : 0) << c.who;
    EXPECT_EQ(out.finish(), "") << c.who;  // refusals included: the callers speak
    EXPECT_EQ(who(s.session), c.who);
    EXPECT_EQ(s.daemon.take_requests(), c.sent) << c.who;
    if (*c.who == '-') continue;
    // Logging out drops a token (no logout: the token is what logged in), or logs out.
    unsigned generation = s.session.user_generation;
    EXPECT_EQ(user_logout(s.session), 0) << c.who;
    bool token = std::string(c.who).ends_with("token");
    EXPECT_EQ(s.daemon.take_requests(), Strings{token ? R"(Authenticate {"Token":""})" : "Logout"});
    EXPECT_EQ(who(s.session), "-");
    EXPECT_NE(s.session.user_generation, generation) << c.who;
  }
}

// A daemon that does not answer, or hangs up, is not asked again as a token nor told to log
// out (each would wait as long again), and the failure says why.
TEST(UserLogin, AFailedExchangeIsNotTriedAgainAndSaysWhy) {
  for (bool hang_up : {false, true}) {  // at the first request, or read it and never answer
    Strings read;
    {
      k::test::Peer peer([&](int fd) {
        for (std::string line; !(line = k::test::read_line(fd)).empty() && !hang_up;)
          read.push_back(k::json_text(k::json_parse(line).get(), "method"));
      });
      Session session;
      session.requests.set_destination(peer.path());
      session.requests.set_timeout(300);
      int r = user_login(session, "admin", std::string("pw"));
      EXPECT_EQ(r, hang_up ? k::kSockClosed : k::kSockTimeout);
      EXPECT_EQ(login_failure_reason(session, r, true),
                hang_up ? "the connection was closed during login; is it a TLS socket? (use --ssl)"
                        : "veld did not answer within 300 ms");
      EXPECT_EQ(session.user, std::nullopt);
    }
    EXPECT_EQ(read, hang_up ? Strings{} : Strings{"Login"});
  }
}

// Only when nobody is logged in (--auth chose, or somebody logged in already).
TEST(TryLogin, TheLocalUserWithoutAPasswordWhenNobodyIsLoggedIn) {
  passwd* entry = getpwuid(getuid());
  ASSERT_TRUE(entry && entry->pw_name) << "the test needs a password-database entry";
  const std::string local = entry->pw_name, login = R"(Login {"Username":")" + local + R"("})";
  for (const std::optional<std::string>& user : {std::optional<std::string>(), {"admin"}}) {
    LoggedSession s;
    s.daemon.reply(login, kOk);
    ASSERT_EQ(s.session.requests.connect(), 0);
    s.session.user = user;
    try_login(s.session);
    EXPECT_EQ(s.session.user, user.value_or(local));
    EXPECT_EQ(s.daemon.take_requests(), (user ? Strings{} : Strings{login, kAskAccess}));
  }
}

}  // namespace
