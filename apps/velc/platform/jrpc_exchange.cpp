// The messages of a connection: writing requests, reading and sorting what arrives (the awaited
// reply, late replies, events), and the exchanges built on them.
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/interrupt.h"
#include "platform/jrpc_connection.h"

namespace k {

namespace {

// Messages other than replies kept while an exchange waits (see exec).
constexpr size_t kInboxMax = 1024;

}  // namespace

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

int Connection::exec(Message& m) { return exec_request(m, nullptr); }

int Connection::exec(Message& m, LargeReply& large) { return exec_request(m, &large); }

int Connection::exec(Message& m, int timeout_ms, LargeReply* large) {
  struct KeptTimeout {
    int& slot;
    int kept;
    ~KeptTimeout() { slot = kept; }  // Ctrl-C included
  } keep{timeout_ms_, timeout_ms_};
  timeout_ms_ = timeout_ms;
  return exec_request(m, large);
}

int Connection::exec_request(Message& m, LargeReply* large) {
  m.forget_failure();
  if (m.kind != kMsgRequest) return set_socket_err(kSockInvalid);
  int r = exchange(m, large);
  if (r < 0) {
    m.fail_here(r);
    if (!err_detail_.empty()) m.error_detail = err_detail_;  // e.g. why a new TLS session failed
  }
  return r;
}

int Connection::exchange(Message& m, LargeReply* large, bool authenticating) {
  int r = exchange_once(m, large, authenticating);
  // The daemon went away since the last exchange and saw nothing of this one: the request goes
  // again, once, on a new connection. A request that left is never sent twice (a set must not
  // be applied twice).
  if (r == kSockResend) r = exchange_once(m, large, authenticating);
  return r;
}

int Connection::exchange_once(Message& m, LargeReply* large, bool authenticating) {
  if (int r = ensure_connected(); r < 0) return r;
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
      if (awaited >= 0 && large->load(reader_, line, awaited)) {
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
  if (int r = ensure_connected(); r < 0) return r;
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
