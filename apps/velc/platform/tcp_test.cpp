// A TCP connect may not hang (the destinations, the other ways connecting fails, and requests
// over TCP and TLS are seen end to end).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/tcp.h"

namespace {

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
