#include "platform/tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/interrupt.h"

namespace k {

namespace {


bool valid_host(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char ch : host) {
    bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
              ch == '-' || ch == '_' || ch == '.';
    if (!ok) return false;
  }
  return true;
}

int connect_error(int e) {
  switch (e) {
    case ECONNREFUSED: return kSockRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL: return kSockUnreachable;
    case ETIMEDOUT: return kSockTimeout;
    case EACCES:
    case EPERM: return kSockDenied;
    default: return kSockRefused;
  }
}

// Waits until a non-blocking connect finished or the deadline passed; the connect's code.
int finish_connect(int fd, int64_t deadline) {
  for (;;) {
    interrupt_check();
    int wait = kInterruptSliceMs;
    if (deadline >= 0) {
      int64_t left = deadline - monotonic_ms();
      if (left <= 0) return kSockTimeout;
      if (left < wait) wait = static_cast<int>(left);
    }
    pollfd p{fd, POLLOUT, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0 && errno != EINTR) return kSockRefused;
    if (r <= 0) continue;
    int so_error = 0;
    socklen_t size = sizeof so_error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &size) < 0) so_error = errno;
    return so_error == 0 ? kSockOk : connect_error(so_error);
  }
}

struct AddrInfoFree {
  void operator()(addrinfo* a) const { ::freeaddrinfo(a); }
};

}  // namespace

bool is_tcp_destination(std::string_view destination) {
  return destination.starts_with(kTcpPrefix);
}

bool parse_host_port(std::string_view text, bool allow_port_zero, TcpAddress& out) {
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = text.substr(0, colon), port = text.substr(colon + 1);
  if (!valid_host(host) || port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char ch : port) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + static_cast<unsigned>(ch - '0');
  }
  if (value > 65535 || (value == 0 && !allow_port_zero)) return false;
  out.host = std::string(host);
  out.port = static_cast<uint16_t>(value);
  return true;
}

int parse_tcp_destination(std::string_view destination, TcpAddress& out) {
  if (!is_tcp_destination(destination)) return kSockBadAddress;
  return parse_host_port(destination.substr(kTcpPrefix.size()), false, out) ? kSockOk
                                                                             : kSockBadAddress;
}

bool is_ipv4_literal(const std::string& host) {
  in_addr a{};
  return ::inet_pton(AF_INET, host.c_str(), &a) == 1;
}

Fd tcp_connect(const TcpAddress& to, int timeout_ms, int& err) {
  int64_t deadline = timeout_ms < 0 ? -1 : monotonic_ms() + timeout_ms;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string port = std::to_string(to.port);
  if (::getaddrinfo(to.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
    err = kSockUnknownHost;
    return Fd();
  }
  std::unique_ptr<addrinfo, AddrInfoFree> list(found);
  err = kSockUnreachable;
  for (addrinfo* a = found; a; a = a->ai_next) {
    Fd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (!fd) {
      err = kSockCreate;
      continue;
    }
    int r = ::connect(fd.get(), a->ai_addr, a->ai_addrlen);
    err = r == 0 ? kSockOk
                 : (errno == EINPROGRESS || errno == EINTR) ? finish_connect(fd.get(), deadline)
                                                            : connect_error(errno);
    if (err == kSockOk) {
      ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
      int one = 1;  // requests are single lines: no waiting for more to fill a segment
      ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return fd;
    }
    if (err == kSockTimeout) break;  // the time-out is for all addresses together
  }
  return Fd();
}

Fd tcp_listen(const TcpAddress& at, uint16_t& bound_port, std::string& error, int backlog) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(at.port);
  if (::inet_pton(AF_INET, at.host.c_str(), &addr.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(at.host.c_str(), nullptr, &hints, &found) != 0 || !found) {
      error = "unknown host " + at.host;
      return Fd();
    }
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
  }
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int one = 1;
  if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) < 0 ||
      ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
      ::listen(fd.get(), backlog) < 0) {
    error = "cannot listen on " + at.host + ":" + std::to_string(at.port) + ": " +
            std::strerror(errno);
    return Fd();
  }
  socklen_t size = sizeof addr;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &size);
  bound_port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace k
