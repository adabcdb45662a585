#include "platform/socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace k {

const char* socket_strerror(int code) {
  switch (code) {
    case kSockOk: return "Success";
    case kSockInvalid: return "Invalid argument";
    case kSockCreate: return "Cannot create socket";
    case kSockNoEntry: return "No such socket";
    case kSockRefused: return "Connection refused";
    case kSockDenied: return "Permission denied";
    case kSockNotConnected: return "Not connected";
    case kSockResend: return "Connection reset, send again";
    case kSockNoData: return "No message waiting";
    case kSockClosed: return "Connection closed by peer";
    case kSockWrite: return "Write failed";
    case kSockMalformed: return "Malformed message";
    case kSockNotJsonRpc: return "Not a JSON-RPC message";
    case kSockTimeout: return "Timed out";
    case kSockPathTooLong: return "Socket path too long";
    case kSockUnknownReply: return "Reply to an unknown request";
    case kSockNoSsl: return "SSL layer not available";
    case kSockRead: return "Read failed";
    case kSockTooLarge: return "Message too large";
    case kSockLoginLost: return "Login lost with the connection";
    case kSockBadAddress: return "Bad address, expected tcp:HOST:PORT";
    case kSockUnknownHost: return "Unknown host";
    case kSockUnreachable: return "Host unreachable";
    case kSockTls: return "TLS handshake failed";
    default: return "Unknown error";
  }
}

Fd& Fd::operator=(Fd&& o) noexcept {
  if (this != &o) reset(o.release());
  return *this;
}

void Fd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

namespace {

bool fill_address(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

}  // namespace

Fd unix_connect(const std::string& path, int& err) {
  sockaddr_un addr;
  if (!fill_address(path, addr)) {
    err = path.empty() ? kSockInvalid : kSockPathTooLong;
    return Fd();
  }
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) {
    err = kSockCreate;
    return Fd();
  }
  int r;
  do {
    r = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    switch (errno) {
      case ENOENT: err = kSockNoEntry; break;
      case EACCES:
      case EPERM: err = kSockDenied; break;
      default: err = kSockRefused; break;
    }
    return Fd();
  }
  err = kSockOk;
  return fd;
}

Fd unix_listen(const std::string& path, int backlog) {
  sockaddr_un addr;
  if (!fill_address(path, addr)) {
    errno = ENAMETOOLONG;
    return Fd();
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return Fd();
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
      ::listen(fd.get(), backlog) < 0)
    return Fd();
  return fd;
}

bool is_unix_socket(int fd) {
  sockaddr_storage addr{};
  socklen_t size = sizeof addr;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) < 0) return false;
  return addr.ss_family == AF_UNIX;
}

bool write_all(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
    if (w < 0 && errno == ENOTSOCK) w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace k
