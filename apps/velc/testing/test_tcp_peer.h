// Test support: a TCP peer on 127.0.0.1 for one connection: a netcat sender or a small HTTP
// server, as the daemon's Download meets them.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace k::test {

// Accepts one connection on 127.0.0.1 (a port the system chooses) and runs `serve` on it, in a
// thread. The wait for the connection is bounded, so a daemon that never comes fails the test
// rather than hanging it.
struct OneShotPeer {
  explicit OneShotPeer(std::function<void(int)> serve) {
    listener = k::Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        ::listen(listener.get(), 1) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(a.sin_port);
    thread = std::thread([this, serve] {
      pollfd p{listener.get(), POLLIN, 0};
      if (::poll(&p, 1, 20000) != 1) return;
      k::Fd conn(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (conn) serve(conn.get());
    });
  }
  ~OneShotPeer() { thread.join(); }
  OneShotPeer(const OneShotPeer&) = delete;
  OneShotPeer& operator=(const OneShotPeer&) = delete;

  int port = 0;
  k::Fd listener;
  std::thread thread;
};

// A netcat sender: the bytes, then the end of the connection.
inline std::function<void(int)> sends(std::string bytes) {
  return [bytes](int fd) { k::write_all(fd, bytes.data(), bytes.size()); };
}

// A one-request HTTP server answering with `status` and `body`.
inline std::function<void(int)> http_answers(int status, std::string body) {
  return [status, body](int fd) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      ssize_t n = ::poll(&p, 1, 20000) == 1 ? ::read(fd, buf, sizeof buf) : -1;
      if (n <= 0) return;
      request.append(buf, static_cast<size_t>(n));
    }
    std::string reply = "HTTP/1.1 " + std::to_string(status) +
                        (status == 200 ? " OK" : " Not Found") +
                        "\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body;
    k::write_all(fd, reply.data(), reply.size());
  };
}

}  // namespace k::test
