// Sockets: an owning descriptor, UNIX stream sockets, and the error codes of the messaging layer
// with their texts.
#pragma once

#include <string>

namespace k {

// Error codes of the messaging layer (`Connection::socket_err`); 0 means no error.
enum SocketError : int {
  kSockOk = 0,
  kSockInvalid = -1,        // bad argument (no destination, bad message)
  kSockCreate = -2,         // socket() failed
  kSockNoEntry = -3,        // the socket path does not exist
  kSockRefused = -4,        // nobody listens on the socket
  kSockDenied = -5,         // no permission to connect
  kSockNotConnected = -6,   // the handle has no connection
  kSockResend = -7,         // the connection was found dead before the request left: send again
  kSockNoData = -8,         // a receive found nothing waiting
  kSockClosed = -9,         // the peer closed the connection
  kSockWrite = -10,         // writing failed
  kSockMalformed = -11,     // the peer sent a line that is not JSON
  kSockNotJsonRpc = -12,    // the peer sent JSON that is not a JSON-RPC message
  kSockTimeout = -13,       // nothing arrived in time
  kSockPathTooLong = -14,   // the socket path does not fit a UNIX address
  kSockUnknownReply = -15,  // a reply to a request this handle never sent
  kSockNoSsl = -16,         // the SSL layer cannot be set up (CA file, OpenSSL failure)
  kSockRead = -17,          // reading failed
  kSockTooLarge = -18,      // a message longer than the connection accepts (it is skipped)
  kSockLoginLost = -19,     // the connection was made anew and its login could not go with it
  kSockBadAddress = -20,    // a "tcp:" destination that is not tcp:HOST:PORT
  kSockUnknownHost = -21,   // the HOST of a "tcp:" destination has no IPv4 address
  kSockUnreachable = -22,   // no route to the HOST of a "tcp:" destination
  kSockTls = -23,           // the TLS handshake failed or the TLS session broke
};

// The text of a code (k_socket_strerror).
const char* socket_strerror(int code);

// An owned file descriptor, closed on destruction.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(o.release()) {}
  Fd& operator=(Fd&& o) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }

  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }
  void reset(int fd = -1);
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Connects a UNIX stream socket to `path`; on failure the descriptor is empty and `err` holds the
// code.
Fd unix_connect(const std::string& path, int& err);

// Makes a listening UNIX stream socket at `path` (removing a stale socket file first); empty on
// failure with `errno` set.
Fd unix_listen(const std::string& path, int backlog = 64);

// True when `fd` is a socket of the UNIX domain (a local peer on this machine).
bool is_unix_socket(int fd);

// Writes all bytes, without SIGPIPE; false on failure (errno set).
bool write_all(int fd, const char* data, size_t n);

}  // namespace k
