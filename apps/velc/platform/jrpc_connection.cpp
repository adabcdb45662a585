#include "platform/jrpc_connection.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/interrupt.h"
#include "platform/tcp.h"

namespace k {

namespace {

// Messages other than replies kept while an exchange waits (see exec).
constexpr size_t kInboxMax = 1024;

}  // namespace

void Connection::set_destination(const std::string& destination) {
  path_ = destination;
  close();
}

int Connection::set_socket_err(int code, std::string detail) {
  err_ = code;
  err_detail_ = std::move(detail);
  return code;
}

std::string Connection::error_text() const {
  return err_detail_.empty() ? socket_strerror(err_) : err_detail_;
}

int Connection::open_socket(int64_t deadline_ms, std::string& tls_host) {
  int err = kSockOk;
  if (is_tcp_destination(path_)) {
    TcpAddress to;
    if (int r = parse_tcp_destination(path_, to); r < 0) return r;
    int left = deadline_ms < 0
                   ? -1
                   : static_cast<int>(std::max<int64_t>(0, deadline_ms - monotonic_ms()));
    fd_ = tcp_connect(to, left, err);
    tls_host = to.host;
  } else {
    fd_ = unix_connect(path_, err);
    tls_host = kLocalTlsName;
  }
  return err;
}

int Connection::start_tls(const std::string& host, int64_t deadline_ms) {
  // The codes' own texts, followed by what OpenSSL or the system said.
  auto failed = [this](int code, const std::string& why) {
    return set_socket_err(code, std::string(socket_strerror(code)) + ": " + why);
  };
  if (!tls_context_) {
    const char* ca = std::getenv(kCaFileVariable);
    std::string error;
    tls_context_ = TlsContext::client(ca ? ca : "", error);
    if (!tls_context_) return failed(kSockNoSsl, error);
  }
  ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) | O_NONBLOCK);
  tls_ = TlsSession::client(*tls_context_, fd_.get(), host);
  if (!tls_) return failed(kSockNoSsl, "cannot start a TLS session for " + host);
  for (;;) {
    TlsIo io = tls_->handshake();
    if (io == TlsIo::kDone) return kSockOk;
    if (io == TlsIo::kClosed || io == TlsIo::kFailed) return failed(kSockTls, tls_->error());
    Wait w = wait_socket(io == TlsIo::kWantWrite ? POLLOUT : POLLIN, deadline_ms);
    if (w == Wait::kInterrupted) interrupt_check();
    if (w == Wait::kTimeout) return set_socket_err(kSockTimeout, "Timed out in the TLS handshake");
    if (w != Wait::kReady) return failed(kSockTls, std::strerror(errno));
  }
}

int Connection::connect() {
  close();
  int64_t limit = timeout_ms_ < 0 ? -1 : std::max(timeout_ms_, kMinConnectTimeoutMs);
  int64_t deadline = limit < 0 ? -1 : monotonic_ms() + limit;
  try {
    std::string tls_host;
    if (int r = open_socket(deadline, tls_host); r < 0) {
      close();
      return set_socket_err(r);
    }
    if (flags_ & kFlagSsl) {
      if (int r = start_tls(tls_host, deadline); r < 0) {
        std::string detail = err_detail_;
        close();
        return set_socket_err(r, detail);
      }
    }
  } catch (...) {
    close();  // Ctrl-C while connecting: nothing half made stays
    throw;
  }
  set_socket_err(kSockOk);
  ++connections_;
  return renew_authentication();
}

Connection::Wait Connection::wait_socket(short events, int64_t deadline_ms) {
  for (;;) {
    if (g_interrupt_requested) return Wait::kInterrupted;
    int wait = kInterruptSliceMs;
    bool last = false;  // the deadline is reached when this wait ends
    if (deadline_ms >= 0) {
      // A deadline already past still looks once: a time-out of 0 takes what has arrived.
      int64_t left = std::max<int64_t>(0, deadline_ms - monotonic_ms());
      if (left <= wait) {
        wait = static_cast<int>(left);
        last = true;
      }
    }
    pollfd p{fd_.get(), events, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::kError;
    }
    if (r > 0) return Wait::kReady;
    if (last) return Wait::kTimeout;
  }
}

int Connection::renew_authentication() {
  bool had_login = auth_ != Auth::kGuest;
  auth_ = Auth::kGuest;  // every connection starts as a guest
  if (token_.empty() || (flags_ & kFlagSessionLogin)) {
    // Going on as a guest would silently show and do less than the user believes.
    if (had_login) login_lost_ = true;
    return kSockOk;
  }
  Message m = msg_authenticate(token_);
  int r;
  try {
    r = exchange(m, nullptr, true);
  } catch (...) {
    close();  // never left connected as a guest: the next exchange presents the token again
    throw;
  }
  if (r < 0) {
    close();
    return r;
  }
  if (m.kind == kMsgResult) {
    auth_ = Auth::kToken;
  } else {
    token_.clear();  // veld no longer takes it
    login_lost_ = true;
  }
  return kSockOk;
}

int Connection::authenticate(Message m, Auth on_success) {
  int r = exchange(m, nullptr, true);
  login_lost_ = false;
  bool accepted = r >= 0 && m.kind == kMsgResult;
  auth_ = accepted ? on_success : Auth::kGuest;
  return r < 0 ? r : accepted ? 0 : -1;
}

int Connection::login(const std::string& user, const std::optional<std::string>& password) {
  token_.clear();
  return authenticate(msg_login(user, password), Auth::kLogin);
}

int Connection::set_auth(const std::string& token) {
  token_.clear();  // a new connection made on the way must not present the old token first
  int r = authenticate(msg_authenticate(token), token.empty() ? Auth::kGuest : Auth::kToken);
  if (r == 0) token_ = token;
  return r;
}

int Connection::logout() {
  token_.clear();
  return authenticate(msg_logout(), Auth::kGuest);
}

void Connection::close() {
  if (tls_) tls_->shutdown();
  tls_.reset();  // before its socket
  fd_.reset();
  reader_.clear();
  skip_partial_ = false;
  abandoned_.clear();
}

int Connection::write_message(const Message& m) {
  if (!fd_) return set_socket_err(kSockNotConnected);
  std::string line = json_dump(m.to_json().get(), JSON_COMPACT);
  if (line.empty()) return set_socket_err(kSockInvalid);
  line.push_back('\n');
  bool dead = false;
  bool written = tls_ ? tls_write_all(line.data(), line.size(), dead)
                      : write_all(fd_.get(), line.data(), line.size());
  if (!written) {
    // A dead connection is noticed here, before the peer saw anything: the request can safely
    // go again on a fresh connection.
    if (!tls_) dead = errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN;
    close();
    return set_socket_err(dead ? kSockResend : kSockWrite);
  }
  return set_socket_err(kSockOk);
}

bool Connection::tls_write_all(const char* data, size_t n, bool& dead) {
  while (n > 0) {
    size_t put = 0;
    TlsIo io = tls_->write(data, n, put);
    if (io == TlsIo::kDone) {
      data += put;
      n -= put;
      continue;
    }
    if (io == TlsIo::kClosed || io == TlsIo::kFailed) {
      dead = io == TlsIo::kClosed;
      return false;
    }
    // As a plain write blocks until the peer takes the bytes, so does this one.
    pollfd p{fd_.get(), static_cast<short>(io == TlsIo::kWantRead ? POLLIN : POLLOUT), 0};
    if (::poll(&p, 1, -1) < 0 && errno != EINTR) return false;
  }
  return true;
}

Connection::Wait Connection::read_chunk(int64_t deadline_ms) {
  for (;;) {
    char chunk[65536];
    short events = POLLIN;
    if (tls_) {
      // Data OpenSSL already holds is not shown by poll: it is read before any wait.
      if (g_interrupt_requested) return Wait::kInterrupted;
      size_t got = 0;
      TlsIo io = tls_->read(chunk, sizeof chunk, got);
      if (io == TlsIo::kDone) {
        reader_.feed(chunk, got);
        return Wait::kReady;
      }
      if (io == TlsIo::kClosed) return Wait::kClosed;
      if (io == TlsIo::kFailed) return Wait::kError;
      if (io == TlsIo::kWantWrite) events = POLLOUT;
    }
    if (Wait w = wait_socket(events, deadline_ms); w != Wait::kReady) return w;
    if (tls_) continue;
    ssize_t n = ::read(fd_.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return Wait::kError;
    }
    if (n == 0) return Wait::kClosed;
    reader_.feed(chunk, static_cast<size_t>(n));
    return Wait::kReady;
  }
}

Connection::Wait Connection::fill(int64_t deadline_ms) {
  discard_abandoned_line();
  while (!reader_.has_line()) {
    if (reader_.pending_bytes() > max_message_bytes_) {
      // Too long to hold: what arrived is dropped, and so is the rest of the line.
      skip_partial_ = !reader_.skip_line_rest();
      return Wait::kTooLarge;
    }
    Wait w = read_chunk(deadline_ms);
    if (w != Wait::kReady) return w;
    discard_abandoned_line();
  }
  return Wait::kReady;
}

int Connection::fail_wait(Wait w) {
  switch (w) {
    case Wait::kInterrupted: interrupt_check(); return set_socket_err(kSockRead);
    case Wait::kTimeout: return set_socket_err(kSockTimeout);
    case Wait::kTooLarge: return set_socket_err(kSockTooLarge);
    case Wait::kClosed: close(); return set_socket_err(kSockClosed);
    default: close(); return set_socket_err(kSockRead);
  }
}

void Connection::discard_abandoned_line() {
  if (skip_partial_) skip_partial_ = !reader_.skip_line_rest();
}

struct Connection::StreamFeed {
  Connection* self;
  int64_t deadline_ms;
  Wait wait = Wait::kReady;
  bool line_end = false;
  bool consumed = false;  // bytes of the line were handed to the parser
  bool content = false;  // a byte other than white space was seen
  size_t bytes = 0;      // bytes of the line handed to the parser
};

size_t Connection::feed_parser(void* buffer, size_t size, void* data) {
  auto& feed = *static_cast<StreamFeed*>(data);
  if (feed.line_end) return 0;  // the parser sees the end of the line as the end of its input
  Connection& self = *feed.self;
  for (;;) {
    self.discard_abandoned_line();
    if (!self.skip_partial_ && self.reader_.pending_bytes() > 0) break;
    feed.wait = self.read_chunk(feed.deadline_ms);
    // No exception may cross the parser: an interrupt is reported after it returns.
    if (feed.wait != Wait::kReady) return static_cast<size_t>(-1);
  }
  char* out = static_cast<char*>(buffer);
  size_t n = self.reader_.take_line_part(out, size, feed.line_end);
  feed.consumed = true;
  feed.bytes += n;
  if (!feed.line_end && feed.bytes > self.max_message_bytes_) {
    feed.wait = Wait::kTooLarge;  // the rest of the line is skipped
    return static_cast<size_t>(-1);
  }
  for (size_t i = 0; i < n && !feed.content; ++i)
    feed.content = !std::isspace(static_cast<unsigned char>(out[i]));
  return n;
}

Connection::Wait Connection::stream_message(int64_t deadline_ms, std::optional<Message>& got,
                                            int& bad) {
  bad = 0;
  discard_abandoned_line();
  StreamFeed feed{this, deadline_ms};
  json_error_t error;
  Json j = Json::take(json_load_callback(&Connection::feed_parser, &feed, 0, &error));
  skip_partial_ = feed.consumed && !feed.line_end;
  reader_.trim();
  if (feed.wait != Wait::kReady) return feed.wait;
  if (j) {
    got = msg_parse(j.get());
    if (!got) bad = kSockNotJsonRpc;
  } else if (feed.content) {
    bad = kSockMalformed;
  }
  return Wait::kReady;
}

std::optional<Message> Connection::take_buffered(int& bad) {
  bad = 0;
  while (auto line = reader_.next_line()) {
    auto m = parse_line(*line, bad);
    reader_.trim();
    if (m || bad) return m;
  }
  return std::nullopt;
}

std::optional<Message> Connection::parse_line(std::string_view line, int& bad) {
  bad = 0;
  if (line.find_first_not_of(" \t\r") == std::string_view::npos) return std::nullopt;
  if (line.size() > max_message_bytes_) {
    bad = kSockTooLarge;
    return std::nullopt;
  }
  Json j = json_parse(line, 0);
  if (!j) {
    bad = kSockMalformed;
    return std::nullopt;
  }
  auto m = msg_parse(j.get());
  if (!m) bad = kSockNotJsonRpc;
  return m;
}

int Connection::exec(Message& m) {
  m.forget_failure();
  if (m.kind != kMsgRequest) return set_socket_err(kSockInvalid);
  int r = exchange(m, nullptr);
  if (r < 0) {
    m.fail_here(r);
    if (!err_detail_.empty()) m.error_detail = err_detail_;  // e.g. why a new TLS session failed
  }
  return r;
}

int Connection::exec(Message& m, LargeReply& large) {
  m.forget_failure();
  if (m.kind != kMsgRequest) return set_socket_err(kSockInvalid);
  int r = exchange(m, &large);
  if (r < 0) {
    m.fail_here(r);
    if (!err_detail_.empty()) m.error_detail = err_detail_;  // e.g. why a new TLS session failed
  }
  return r;
}

int Connection::exchange(Message& m, LargeReply* large, bool authenticating) {
  if (!fd_) {
    if (int r = connect(); r < 0) return r;
  }
  if (login_lost_ && !authenticating) return set_socket_err(kSockLoginLost);
  if (!m.id) m.id = Json::take(json_integer(next_id_++));
  if (m.method == "JoinGroup") {
    if (!session_id_.empty()) msg_add_parameter(m, "Session", json_str(session_id_));
    if (flags_ & kFlagReceiver) msg_add_parameter(m, "Receiver", Json::take(json_true()));
  }
  if (int r = write_message(m); r < 0) return r;

  int64_t deadline = timeout_ms_ < 0 ? -1 : monotonic_ms() + timeout_ms_;
  int64_t awaited = json_is_integer(m.id.get()) ? json_integer_value(m.id.get()) : -1;
  // Until the reply arrives, this request counts as abandoned: if the wait ends early (time-out,
  // Ctrl-C), its late reply is recognised and dropped by the next exchange.
  if (awaited >= 0) abandoned_.insert(awaited);
  for (;;) {
    int bad = 0;
    discard_abandoned_line();
    std::optional<Message> got;
    if (large) {
      // The whole line as text: the awaited result is read by `large`, anything else as usual.
      if (Wait w = fill(deadline); w != Wait::kReady) return fail_wait(w);
      std::string_view line = *reader_.next_line();
      if (awaited >= 0 && large->load(line, awaited, true)) {
        reader_.trim();
        abandoned_.erase(awaited);
        m.kind = kMsgResult;
        return set_socket_err(kSockOk);
      }
      got = parse_line(line, bad);
      reader_.trim();
    } else if (reader_.has_line()) {
      got = take_buffered(bad);
    } else if (Wait w = stream_message(deadline, got, bad); w != Wait::kReady) {
      return fail_wait(w);
    }
    if (bad) return set_socket_err(bad);
    if (!got) continue;  // a blank line
    if (got->kind != kMsgResult && got->kind != kMsgError) {
      // Kept for recv, but not without bound: a flood while we wait keeps only its latest part.
      if (inbox_.size() >= kInboxMax) inbox_.pop_front();
      inbox_.push_back(std::move(*got));
      continue;
    }
    if (json_equal(got->id.get(), m.id.get())) {
      abandoned_.erase(awaited);
      m.take_reply(*got);
      return set_socket_err(kSockOk);
    }
    json_t* id = got->id.get();
    if (json_is_integer(id) && abandoned_.erase(json_integer_value(id))) continue;
    return set_socket_err(kSockUnknownReply);
  }
}

int Connection::send(const Message& m) {
  if (!fd_) {
    if (int r = connect(); r < 0) return r;
  }
  if (login_lost_) return set_socket_err(kSockLoginLost);
  return write_message(m);
}

bool Connection::has_buffered_message() {
  discard_abandoned_line();
  if (!inbox_.empty() || reader_.has_line()) return true;
  // What OpenSSL holds is taken into the line buffer without waiting; a failure shows on the
  // next receive.
  while (tls_ && tls_->has_pending()) {
    char chunk[16384];
    size_t got = 0;
    if (tls_->read(chunk, sizeof chunk, got) != TlsIo::kDone) break;
    reader_.feed(chunk, got);
    discard_abandoned_line();
  }
  return reader_.has_line();
}

std::optional<Message> Connection::recv() { return recv(timeout_ms_); }

std::optional<Message> Connection::recv(int timeout_ms) {
  if (!inbox_.empty()) {
    Message m = std::move(inbox_.front());
    inbox_.pop_front();
    set_socket_err(kSockOk);
    return m;
  }
  if (!fd_) {
    set_socket_err(kSockNotConnected);
    return std::nullopt;
  }
  int64_t deadline = timeout_ms < 0 ? -1 : monotonic_ms() + timeout_ms;
  for (;;) {
    int bad = 0;
    auto got = take_buffered(bad);
    if (bad) {
      set_socket_err(bad);
      return std::nullopt;
    }
    if (got) {
      // A late reply to a request abandoned on this handle is nobody's business any more.
      if ((got->kind == kMsgResult || got->kind == kMsgError) &&
          json_is_integer(got->id.get()) && abandoned_.erase(json_integer_value(got->id.get())))
        continue;
      set_socket_err(kSockOk);
      return got;
    }
    Wait w = fill(deadline);
    if (w == Wait::kReady) continue;
    if (w == Wait::kTimeout) {
      set_socket_err(reader_.pending_bytes() ? kSockTimeout : kSockNoData);
    } else {
      fail_wait(w);
    }
    return std::nullopt;
  }
}

}  // namespace k
