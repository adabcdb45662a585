// TCP destinations: the "tcp:HOST:PORT" form and the ways connecting (with or without TLS) fails,
// none of which may hang. Requests over TCP are seen end to end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/jrpc_connection.h"
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

// A TCP listener on the loopback address that nobody accepts from: connecting works (the kernel
// completes it), but nothing is ever answered.
struct SilentListener {
  SilentListener() {
    std::string error;
    fd = k::tcp_listen({"127.0.0.1", 0}, port, error);
  }
  std::string destination() const { return "tcp:127.0.0.1:" + std::to_string(port); }
  k::Fd fd;
  uint16_t port = 0;
};

TEST(TcpConnection, FailuresAreClearAndNeverHang) {
  SilentListener silent;
  ASSERT_TRUE(silent.fd);
  uint16_t closed_port = 0;
  {
    SilentListener gone;  // its port is free again once it is closed
    closed_port = gone.port;
  }
  const std::string ssl_setup_failed = "SSL layer not available: cannot load CA file ";
  const struct {
    std::string destination;
    bool ssl;
    const char* ca_file;
    int code;
    std::string text;  // its beginning
  } cases[] = {
      {"tcp:nohost", false, nullptr, k::kSockBadAddress, "Bad address, expected tcp:HOST:PORT"},
      {"tcp:127.0.0.1:" + std::to_string(closed_port), false, nullptr, k::kSockRefused,
       "Connection refused"},
      // A daemon that accepts and never answers the handshake: the time-out ends it.
      {silent.destination(), true, nullptr, k::kSockTimeout, "Timed out in the TLS handshake"},
      {silent.destination(), true, "/nonexistent/ca.pem", k::kSockNoSsl,
       ssl_setup_failed + "/nonexistent/ca.pem: "},
  };
  for (const auto& c : cases) {
    if (c.ca_file)
      ::setenv(k::kCaFileVariable, c.ca_file, 1);
    else
      ::unsetenv(k::kCaFileVariable);
    k::Connection h;
    h.set_destination(c.destination);
    h.set_timeout(100);  // raised to the connect minimum
    if (c.ssl) h.set_flags(h.flags() | k::kFlagSsl);
    EXPECT_EQ(h.connect(), c.code) << c.destination;
    EXPECT_EQ(h.error_text().rfind(c.text, 0), 0u) << c.destination << ": " << h.error_text();
    EXPECT_EQ(h.fd(), -1) << c.destination;
    // A request on it fails the same way, with the fuller text as the error detail.
    k::Message m = k::msg_create("Ping", k::Json());
    EXPECT_EQ(h.exec(m), c.code) << c.destination;
    EXPECT_EQ(m.error_code, c.code) << c.destination;
  }
  ::unsetenv(k::kCaFileVariable);
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
