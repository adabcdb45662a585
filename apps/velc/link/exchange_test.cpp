// How a request is exchanged and counted.
#include "link/exchange.h"

#include <gtest/gtest.h>

#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"
#include "testing/test_peer.h"

namespace {

// Every exchange whose reply holds no result counts as a failed request: an error of veld, and a
// failure on our side (nobody to connect to); a probe counts nothing either way.
TEST(RequestExchange, CountsFailedRequests) {
  using Replies = std::map<std::string, std::string>;
  k::test::ScriptedDaemon daemon(Replies{{"SaveConfig", R"({"Status":0})"}});
  k::test::TempDir dir;
  struct Case {
    const char* method;
    bool probe;
    bool reachable;
    unsigned counted;
  };
  const Case cases[] = {
      {"SaveConfig", false, true, 0}, {"Reboot", false, true, 1}, {"Reboot", true, true, 0},
      {"SaveConfig", true, true, 0},  {"SaveConfig", false, false, 1},
      {"SaveConfig", true, false, 0},
  };
  for (const auto& c : cases) {
    Session session;
    session.requests.set_destination(c.reachable ? daemon.path() : dir.file("none"));
    k::Message m = k::msg_create(c.method, k::Json());
    if (c.probe)
      request_probe(session, m, 1000);
    else
      request_exchange(session, m, 1000);
    EXPECT_EQ(session.failed_requests, c.counted) << c.method << c.probe << c.reachable;
  }
}

// A command after veld restarted (the connection ended between two commands) goes again on a new
// connection and succeeds; the connection's time-out is the default after each.
TEST(RequestExchange, ACommandAfterTheDaemonRestartedGoesOnANewConnection) {
  k::test::ScriptedDaemon daemon;
  daemon.reply("SaveConfig", R"({"Status":0})");
  Session session;
  session.requests.set_destination(daemon.path());
  for (int i = 0; i < 2; ++i) {
    session.requests.set_timeout(100);
    k::Message m = k::msg_create("SaveConfig", k::Json());
    EXPECT_EQ(request_exchange(session, m, 1000), 0);
    EXPECT_EQ(session.requests.timeout(), k::kDefaultTimeoutMs);
    daemon.drop_connection();
  }
  EXPECT_EQ(session.failed_requests, 0u);
  EXPECT_EQ(daemon.take_requests(), (std::vector<std::string>{"SaveConfig", "SaveConfig"}));
  EXPECT_EQ(session.requests.connections(), 2u);
}

}  // namespace
