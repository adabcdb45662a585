// Logging in against a daemon scripted request by request: what is sent when the exchange fails,
// and when velc logs in as the local user (the login sequences are seen end to end).
#include "link/login.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "testing/test_peer.h"

namespace {

using k::test::ScriptedDaemon;
using Strings = std::vector<std::string>;

constexpr const char* kAskAccess =
    R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})";

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
    ScriptedDaemon daemon({{login, R"({"Status":0})"}});
    Session session;
    session.requests.set_destination(daemon.path());
    ASSERT_EQ(session.requests.connect(), 0);
    session.user = user;
    try_login(session);
    EXPECT_EQ(session.user, user.value_or(local));
    EXPECT_EQ(daemon.take_requests(), (user ? Strings{} : Strings{login, kAskAccess}));
  }
}

}  // namespace
