// Logging in when the exchange fails (the login sequences are seen end to end).
#include "link/login.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;

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

}  // namespace
