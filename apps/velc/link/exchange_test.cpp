// How a request is exchanged and counted.
#include "link/exchange.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"
#include "testing/test_peer.h"

namespace {

// Every exchange whose reply holds no result counts as a failed request: an error of veld, and a
// failure on our side (nobody to connect to); a probe counts nothing either way. Each exchange
// puts the connection's time-out back to the default, and goes again on a new connection when
// veld restarted since the last one.
TEST(RequestExchange, CountsFailedRequests) {
  k::test::ScriptedDaemon daemon;
  daemon.reply("SaveConfig", R"({"Status":0})");
  k::test::TempDir dir;
  const struct {
    const char* method;
    bool probe, reachable;
    unsigned counted;
  } cases[] = {
      {"SaveConfig", false, true, 0}, {"Reboot", false, true, 1}, {"Reboot", true, true, 0},
      {"SaveConfig", false, false, 1}, {"SaveConfig", true, false, 0},
  };
  Session session;
  for (const auto& c : cases) {
    session.failed_requests = 0;
    session.requests.set_destination(c.reachable ? daemon.path() : dir.file("none"));
    session.requests.set_timeout(100);
    k::Message m = k::msg_create(c.method, k::Json());
    c.probe ? request_probe(session, m, 1000) : request_exchange(session, m, 1000);
    EXPECT_EQ(session.failed_requests, c.counted) << c.method << c.probe << c.reachable;
    EXPECT_TRUE(c.probe || session.requests.timeout() == k::kDefaultTimeoutMs);
    daemon.drop_connection();
  }
}

}  // namespace
