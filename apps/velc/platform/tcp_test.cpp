// TCP destinations: the "tcp:HOST:PORT" form, and a connect that may not hang. The other ways
// connecting (with or without TLS) fails, and requests over TCP, are seen end to end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/tcp.h"

namespace {

TEST(TcpDestination, Forms) {
  const std::pair<const char*, const char*> cases[] = {  // the text, as read ("" refused)
      {"tcp:127.0.0.1:4700", "127.0.0.1:4700"}, {"tcp:localhost:0080", "localhost:80"},
      {"tcp:127.0.0.1:0", ""},  // a client needs a real port
      {"tcp:127.0.0.1:65536", ""}, {"tcp::4700", ""}, {"tcp:host:+80", ""},
      {"tcp:[::1]:80", ""},  // IPv4 only
  };
  for (const auto& [text, read] : cases) {
    k::TcpAddress a;
    int r = k::parse_tcp_destination(text, a);
    EXPECT_EQ(r, *read ? k::kSockOk : k::kSockBadAddress) << text;
    EXPECT_EQ(r == k::kSockOk ? a.host + ":" + std::to_string(a.port) : "", read) << text;
  }
  EXPECT_TRUE(k::is_tcp_destination("tcp:x"));
  EXPECT_FALSE(k::is_tcp_destination("./tcp:x:1"));
  // A listener may ask for any free port.
  k::TcpAddress any;
  EXPECT_TRUE(k::parse_host_port("127.0.0.1:0", true, any));
  EXPECT_EQ(any.port, 0);
}

// A listener whose queue is full drops new handshakes unanswered: connecting to it ends with the
// time-out's error instead of waiting for ever.
TEST(TcpConnect, AnUnansweredHandshakeEndsWithTheTimeOut) {
  uint16_t port = 0;
  std::string error;
  k::Fd listener = k::tcp_listen({"127.0.0.1", 0}, port, error, 0);
  ASSERT_TRUE(listener) << error;
  std::vector<k::Fd> queued;  // the connections that fill its queue, never accepted
  int err = k::kSockOk;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 8 && err != k::kSockTimeout; ++i)
    if (k::Fd fd = k::tcp_connect({"127.0.0.1", port}, 300, err)) queued.push_back(std::move(fd));
  EXPECT_EQ(err, k::kSockTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
