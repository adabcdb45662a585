// A connection to veld (the "handle" of the messaging layer): destination, time-out, flags,
// connect, the three exchanges: exec (send a request and wait for its reply), send, recv, and the
// connection's authentication: login, set_auth, logout. jrpc_connection.cpp holds the socket's
// life and the authentication, jrpc_exchange.cpp the messages written and read on it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/jrpc_message.h"
#include "platform/large_reply.h"
#include "platform/line_reader.h"
#include "platform/socket.h"
#include "platform/tls.h"

namespace k {

// The daemon's socket when no other is given.
inline constexpr const char* kDefaultSocketPath = "/var/run/veld.sock";

// Milliseconds a request waits for its reply unless a command asks otherwise.
inline constexpr int kDefaultTimeoutMs = 5000;

// The longest message (one line) a connection accepts unless told otherwise: a longer one is
// skipped and reported as kSockTooLarge instead of growing the client without bound.
inline constexpr size_t kDefaultMaxMessageBytes = size_t{256} << 20;

// Handle flags.
// The authentication belongs to the one daemon connection and cannot be renewed (a password
// login): when the connection has to be made anew, the handle does not go on as a guest but fails
// every exchange with kSockLoginLost until login, set_auth or logout is called. Set by default;
// cleared after a token login, which the handle then renews with its kept token.
inline constexpr unsigned kFlagSessionLogin = 1;
inline constexpr unsigned kFlagReceiver = 2;  // the handle receives its process's events
inline constexpr unsigned kFlagSsl = 8;       // use the SSL layer (TLS)

// The environment variable naming the file of CA certificates (PEM) that a TLS connection trusts;
// unset or empty: the system's default store.
inline constexpr const char* kCaFileVariable = "VELC_CA_FILE";

// The name a TLS connection over a UNIX socket expects in the daemon's certificate (there is no
// host name in a socket path; a daemon on this machine presents a certificate for localhost).
inline constexpr const char* kLocalTlsName = "localhost";

// Making a connection (TCP connect and TLS handshake together) is given at least this many
// milliseconds, even on a handle whose time-out is shorter (the events handle waits 100 ms for a
// message, far too short for a handshake with a remote daemon).
inline constexpr int kMinConnectTimeoutMs = 1000;

class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Where the daemon is: "tcp:HOST:PORT" (HOST an IPv4 address or a name) for TCP, anything
  // else is the path of a UNIX socket. With kFlagSsl the connection speaks TLS on either.
  void set_destination(const std::string& destination);
  const std::string& destination() const { return path_; }
  // Milliseconds that exec and recv wait; -1 waits without limit.
  void set_timeout(int ms) { timeout_ms_ = ms; }
  int timeout() const { return timeout_ms_; }
  unsigned flags() const { return flags_; }
  void set_flags(unsigned flags) { flags_ = flags; }
  // The identity that this handle's JoinGroup requests carry: the daemon delivers the events of
  // all groups joined under one identity to the handle among them that has kFlagReceiver.
  void set_session_id(const std::string& id) { session_id_ = id; }
  // The longest message accepted (bytes of one line, its "\n" excluded).
  void set_max_message_bytes(size_t n) { max_message_bytes_ = n; }

  // Connects; 0 or a negative code, also kept as the socket error. Connecting and the TLS
  // handshake (kFlagSsl) together take at most the time-out (but kMinConnectTimeoutMs at least);
  // the certificate must name the destination's HOST, or kLocalTlsName for a UNIX socket, and be
  // signed by a CA of kCaFileVariable's file. On a new connection the
  // handle's authentication is presented again (a kept token while kFlagSessionLogin is clear)
  // or, when it cannot be, marked lost (see kFlagSessionLogin).
  int connect();
  void close();
  // The socket's descriptor, -1 while unconnected.
  int fd() const { return fd_.get(); }
  // How many connections this handle has made: a change tells that the daemon now answering
  // is on a new connection (it went away and came back, as after a reboot).
  uint64_t connections() const { return connections_; }
  // The code of the last failure, 0 after a success.
  int socket_err() const { return err_; }
  // The text of the last failure: socket_strerror(socket_err()), or a fuller one where the
  // failure has more to say (e.g. "TLS handshake failed: certificate verify failed (hostname
  // mismatch)").
  std::string error_text() const;

  // Sends a request and waits for its reply, which is stored into `m`. 0 on success (the reply
  // may still carry an error), negative on failure with the code in socket_err(); the failure is
  // then stored into `m` as an error too (Message::fail_here), so that nobody takes a request
  // that got no reply for a success. A request that failed here may be sent again. A request
  // that finds the connection dead before it left (the daemon went away since the last
  // exchange, e.g. it restarted) goes once more on a new connection; one that left is never
  // sent twice: the end of its connection is its failure (kSockClosed), for the caller to
  // judge. Messages that are not the awaited reply (late replies to abandoned requests; events,
  // of which the latest 1024 are kept for recv) do not end the wait. A reply longer than the
  // connection accepts fails with kSockTooLarge. Throws Interrupted when Ctrl-C arrives while
  // waiting (`m` is then left as it was).
  int exec(Message& m);
  // The same, for a request whose reply may be very large: a result reply to it is read into
  // `large` (see large_reply.h) and `m` only becomes a result, without its value; any other
  // reply (an error, or one the fast reading refuses) is stored into `m` as exec does.
  int exec(Message& m, LargeReply& large);
  // Either of the two, waiting `timeout_ms` (-1: no limit) for this exchange, connecting
  // included, instead of the handle's time-out, which stays as it was.
  int exec(Message& m, int timeout_ms, LargeReply* large = nullptr);
  // Sends a message without waiting; 0 or a negative code.
  int send(const Message& m);
  // The next message that is not a reply to one of our requests: one already waiting, or one
  // arriving within the time-out; none with socket_err() -8 (nothing waiting), -13 (time-out),
  // -9 (peer closed) or another code.
  std::optional<Message> recv();
  // The same within `timeout_ms` instead of the handle's time-out (-1: no limit); with 0 it
  // takes only what has arrived, never waiting (a message still arriving stays buffered, and
  // the answer is then socket_err() -13).
  std::optional<Message> recv(int timeout_ms);
  // True when a complete message is buffered, so recv() will not block (a poll on fd() does not
  // show such a message).
  bool has_buffered_message();
  // True while connected over a UNIX socket (a daemon on this machine).
  bool is_local() const { return fd_ && is_unix_socket(fd_.get()); }

  // Logs in as `user`, with a password or without one (the daemon then decides by the peer's
  // credentials): sends "Login". 0 on success; a negative socket error when the exchange failed,
  // or -1 when veld refused. Whatever the outcome, a kept token is dropped: a failed Login
  // leaves the connection a guest.
  int login(const std::string& user, const std::optional<std::string>& password);
  // Authenticates with a token: sends "Authenticate". A non-empty token that veld accepts is kept
  // and presented again first thing on every new connection while kFlagSessionLogin is clear;
  // "" drops the token and makes the connection a guest. 0, a negative socket error, or -1 when
  // veld refused (the connection is then a guest).
  int set_auth(const std::string& token);
  // Makes the connection a guest: sends "Logout" and drops a kept token. 0, a negative socket
  // error, or -1 when veld refused.
  int logout();

 private:
  enum class Wait { kReady, kTimeout, kClosed, kError, kInterrupted, kTooLarge };
  // Who the daemon takes this connection for.
  enum class Auth { kGuest, kLogin, kToken };
  // exec's checks, exchange, and the failure stored into `m`.
  int exec_request(Message& m, LargeReply* large);
  // The exchange of exec (one more attempt on a new connection when the request did not leave),
  // without storing its failure. Only `authenticating` requests pass while the login is lost.
  int exchange(Message& m, LargeReply* large, bool authenticating = false);
  // One attempt of exchange: connects when unconnected, writes `m` and waits for its reply.
  int exchange_once(Message& m, LargeReply* large, bool authenticating);
  // Connects unless connected; 0 or connect's failure.
  int ensure_connected();
  // Sends an authentication request (let through while the login is lost, which it ends) and
  // makes the connection `on_success` when veld accepts it, a guest otherwise. 0, the negative
  // exchange result, or -1 when veld refused.
  int authenticate(Message m, Auth on_success);
  // On a new connection: presents the kept token again, or marks the login lost. 0 or the
  // negative result of the renewal's exchange.
  int renew_authentication();
  // Reads one message from a complete line; none with `bad` set for a line that is too long,
  // not JSON or not a message, and none with `bad` 0 for a blank line.
  std::optional<Message> parse_line(std::string_view line, int& bad);
  struct StreamFeed;
  // Keeps `code` as the socket error (0 after a success) and gives it back; `detail` is the
  // fuller text of error_text() ("" none).
  int set_socket_err(int code, std::string detail = "");
  // Makes the socket, plain; 0 or the code. `tls_host` is the name the certificate must carry.
  int open_socket(int64_t deadline_ms, std::string& tls_host);
  // Runs the TLS handshake on the new socket; 0 or the code (with its detail kept).
  int start_tls(const std::string& host, int64_t deadline_ms);
  // Waits until the socket is ready for `events` or the deadline (-1: none) passes.
  Wait wait_socket(short events, int64_t deadline_ms);
  // Writes all of `data` through TLS; false on failure with `dead` set when the peer was gone.
  bool tls_write_all(const char* data, size_t n, bool& dead);
  int write_message(const Message& m);
  // One read of whatever the peer has sent, waiting until the deadline (-1: no limit).
  Wait read_chunk(int64_t deadline_ms);
  // Reads until a complete line is buffered.
  Wait fill(int64_t deadline_ms);
  // Turns a failed wait into the handle's error code (closing it when the peer is gone), or
  // throws Interrupted.
  int fail_wait(Wait w);
  // Parses the next message straight from the socket, so that a reply of many megabytes is never
  // held as text beside its tree. `bad` is set for a line that is no message; none with bad 0
  // for a blank line.
  Wait stream_message(int64_t deadline_ms, std::optional<Message>& got, int& bad);
  static size_t feed_parser(void* buffer, size_t size, void* feed);
  // Drops what is left of a line abandoned half-read (time-out, Ctrl-C, parse error).
  void discard_abandoned_line();
  // Reads one message from the buffer; none when no complete line is buffered. A line that is
  // not a message sets `bad` to the error code.
  std::optional<Message> take_buffered(int& bad);

  std::string path_ = kDefaultSocketPath;
  int timeout_ms_ = kDefaultTimeoutMs;
  unsigned flags_ = kFlagSessionLogin;
  int err_ = 0;
  std::string session_id_;
  size_t max_message_bytes_ = kDefaultMaxMessageBytes;
  Fd fd_;
  std::string err_detail_;
  std::unique_ptr<TlsContext> tls_context_;  // made on the first TLS connect, then kept
  std::unique_ptr<TlsSession> tls_;          // the session on fd_ with kFlagSsl
  LineReader reader_;
  bool skip_partial_ = false;  // the line at the front of reader_ was abandoned half-read
  int64_t next_id_ = 1;
  uint64_t connections_ = 0;
  Auth auth_ = Auth::kGuest;  // of the current connection, or of the last one once it is closed
  std::string token_;         // the token presented on every new connection; empty: none
  bool login_lost_ = false;   // exchanges fail with kSockLoginLost (see kFlagSessionLogin)
  std::set<int64_t> abandoned_;   // requests whose replies nobody waits for any more
  std::deque<Message> inbox_;     // non-reply messages met while waiting for a reply
};

}  // namespace k
