// The connections' side of the server: accepting, TLS, reading requests and writing replies in
// turns, and keeping what all clients hold within the memory budget.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "daemon/server.h"
#include "engine/caller_rights.h"
#include "engine/list_writer.h"

namespace sim {

namespace {

// What one client gets in one turn of the round besides one read: a few requests, a few writes.
constexpr int kLinesPerTurn = 16;
// A client's requests wait while this much of its output waits to be written: one that does not
// read its replies stops being read itself (and its own sending stalls), instead of piling up.
constexpr size_t kQueuedToPause = 1 << 20;
constexpr size_t kWrittenPerTurn = 4 << 20;
constexpr int kIovecs = 64;

k::Json object() { return k::Json::take(json_object()); }

// A size as "4 MiB" when it is whole mebibytes, else in bytes.
std::string size_text(size_t n) {
  if (n % (1u << 20) == 0) return std::to_string(n >> 20) + " MiB";
  return std::to_string(n) + " bytes";
}

std::string request_too_long(size_t limit) {
  return "the request is longer than the " + size_text(limit) + " a request may take";
}

// The reply message of `r`, as one line.
std::string reply_text(json_t* msg_id, const Reply& r) {
  if (r.ok() && !r.result_text.empty()) {
    // A listing comes encoded already: only the envelope is added around it (in a string of
    // the right size: a queued reply does not keep twice its size through growth).
    std::string id;
    append_json_value(id, msg_id ? msg_id : json_null());
    std::string text;
    text.reserve(id.size() + r.result_text.size() + 40);
    text += "{\"jsonrpc\":\"2.0\",\"id\":";
    text += id;
    text += ",\"result\":";
    text += r.result_text;
    text += "}\n";
    return text;
  }
  k::Json msg = object();
  json_object_set_new(msg.get(), "jsonrpc", json_string("2.0"));
  json_object_set(msg.get(), "id", msg_id ? msg_id : json_null());
  if (r.ok()) {
    json_object_set(msg.get(), "result", r.result ? r.result.get() : object().get());
  } else {
    json_t* e = json_object();
    json_object_set_new(e, "code", json_integer(r.fault.code));
    json_object_set_new(e, "message", json_string(fault_message(r.fault.code)));
    if (!r.fault.detail.empty()) {
      k::Json detail = k::json_str(r.fault.detail);
      if (detail) json_object_set(e, "detail", detail.get());
    }
    if (r.fault.data) json_object_set(e, "data", r.fault.data.get());
    json_object_set_new(msg.get(), "error", e);
  }
  return k::json_dump(msg.get(), JSON_COMPACT) + "\n";
}

}  // namespace

void Server::accept_clients(int listener, bool tcp) {
  while (true) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The connection waits in the listen queue. The listener would stay readable, so it is
        // left out of the poll until a client closes (or the retry time comes, for descriptors
        // freed elsewhere in the system).
        ++stats_.accept_failures;
        accept_paused_ = true;
        accept_retry_at_ = Clock::now() + std::chrono::milliseconds(config_.accept_retry_ms);
      }
      return;  // EAGAIN: nobody else is waiting; an aborted connection: tried again next round
    }
    auto c = std::make_unique<Client>();
    c->fd = k::Fd(fd);
    if (tcp && tls_) {
      // The handshake goes on in the client's turns: one that stalls it holds up nobody.
      c->tls = k::TlsSession::server(*tls_, fd);
      if (!c->tls) continue;  // out of memory: the connection closes
      c->handshaking = true;
    }
    c->peer = peer_credentials(fd);
    c->caller = guest_caller(engine_.accounts());
    if (config_.on_connect) config_.on_connect(c->caller);
    clients_.emplace(next_id_++, std::move(c));
  }
}

bool Server::listener_polled(Clock::time_point now) {
  if (!listening_) return false;
  if (accept_paused_ && now >= accept_retry_at_) accept_paused_ = false;
  return !accept_paused_;
}

void Server::serve_turn(ConnId id, Client& c, short revents) {
  if (phase_ != Phase::kServing && (revents & (POLLHUP | POLLERR))) {
    disconnect(c);  // going down, nothing more is read: a client gone is only dropped
    return;
  }
  if (c.handshaking) {
    if (revents) step_handshake(c);
    return;
  }
  if (c.tls && c.tls->has_pending() && may_read(c)) revents |= POLLIN;
  if (revents & (POLLIN | POLLHUP | POLLERR)) {
    if (!c.read_closed) {
      if (!c.reader.has_line() && may_read(c)) read_client(c);
    } else if (revents & (POLLHUP | POLLERR)) {
      disconnect(c);  // nothing more can be delivered
      return;
    }
  }
  if (!c.dead) handle_lines(id, c);
  if (!c.dead && !c.out.empty()) write_client(c);
}

void Server::step_handshake(Client& c) {
  k::TlsIo io = c.tls->handshake();
  if (io == k::TlsIo::kDone) {
    c.handshaking = false;
  } else if (io == k::TlsIo::kWantRead || io == k::TlsIo::kWantWrite) {
    c.tls_wants = io == k::TlsIo::kWantRead ? POLLIN : POLLOUT;
  } else {
    disconnect(c);  // a refused or broken handshake: the client learns it from its own side
  }
}

bool Server::read_tls(Client& c) {
  // Records are read until the socket has nothing more or the chunk is full; what OpenSSL then
  // still holds is read in the next round (see run).
  size_t total = 0;
  while (total < read_buf_.size()) {
    size_t got = 0;
    k::TlsIo io = c.tls->read(read_buf_.data() + total, read_buf_.size() - total, got);
    if (io == k::TlsIo::kDone) {
      total += got;
      continue;
    }
    if (io == k::TlsIo::kClosed) {
      c.read_closed = true;  // what it asked for is still answered
    } else if (io == k::TlsIo::kFailed) {
      disconnect(c);
      return false;
    }
    break;
  }
  if (total == 0) return false;
  c.reader.feed(read_buf_.data(), total);
  c.input_moved = Clock::now();
  return true;
}

void Server::write_tls(Client& c) {
  size_t written = 0;
  while (!c.out.empty() && written < kWrittenPerTurn) {
    const std::string& front = c.out.front();
    size_t put = 0;
    k::TlsIo io = c.tls->write(front.data() + c.out_sent, front.size() - c.out_sent, put);
    if (io == k::TlsIo::kWantRead || io == k::TlsIo::kWantWrite) break;
    if (io != k::TlsIo::kDone) {
      disconnect(c);
      break;
    }
    written += put;
    c.out_sent += put;
    c.blocked_since.reset();
    if (c.out_sent == front.size()) {
      c.out_bytes -= front.size();
      c.out.pop_front();
      c.out_sent = 0;
    }
  }
  account(c);
}

void Server::read_client(Client& c) {
  if (c.tls) {
    if (!read_tls(c)) return;
    if (c.skipping && c.reader.skip_line_rest()) c.skipping = false;
    account(c);
    return;
  }
  ssize_t got;
  do {
    got = ::read(c.fd.get(), read_buf_.data(), read_buf_.size());
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) disconnect(c);
    return;
  }
  if (got == 0) {
    // The peer sent all it will; what it asked for is still answered.
    c.read_closed = true;
    return;
  }
  c.reader.feed(read_buf_.data(), static_cast<size_t>(got));
  c.input_moved = Clock::now();
  // The rest of an over-long line is dropped as it comes, up to its end.
  if (c.skipping && c.reader.skip_line_rest()) c.skipping = false;
  account(c);
}

void Server::handle_lines(ConnId id, Client& c) {
  for (int n = 0; n < kLinesPerTurn && !c.dead && may_take_request(c); ++n) {
    auto line = c.reader.next_line();
    if (!line) break;
    handle_line(id, c, *line);
  }
  if (c.dead) return;
  if (!c.skipping && !c.reader.has_line() && c.reader.pending_bytes() > request_limit()) {
    // An unfinished line already too long: refused now, and not held while it goes on.
    c.reader.skip_line_rest();
    c.skipping = true;
    reply(id, c, nullptr, Reply::failure(kResourcesExceeded, request_too_long(request_limit())));
  }
  c.reader.trim();
  account(c);
}

void Server::write_client(Client& c) {
  if (c.tls) return write_tls(c);
  size_t written = 0;
  while (!c.out.empty() && written < kWrittenPerTurn) {
    iovec iov[kIovecs];
    int parts = 0;
    size_t offset = c.out_sent;
    for (auto it = c.out.begin(); it != c.out.end() && parts < kIovecs; ++it, offset = 0)
      iov[parts++] = {it->data() + offset, it->size() - offset};
    msghdr mh{};
    mh.msg_iov = iov;
    mh.msg_iovlen = static_cast<size_t>(parts);
    ssize_t w = ::sendmsg(c.fd.get(), &mh, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) disconnect(c);
      break;
    }
    written += static_cast<size_t>(w);
    c.blocked_since.reset();
    // Whole messages written leave the queue (and free their memory at once).
    for (size_t left = static_cast<size_t>(w); left > 0;) {
      size_t rest = c.out.front().size() - c.out_sent;
      if (left < rest) {
        c.out_sent += left;
        break;
      }
      left -= rest;
      c.out_bytes -= c.out.front().size();
      c.out.pop_front();
      c.out_sent = 0;
    }
  }
  account(c);
}

void Server::enqueue(Client& c, std::string text) {
  if (c.dead) return;
  c.out_bytes += text.size();
  c.out.push_back(std::move(text));
  account(c);
}

void Server::account(Client& c) {
  size_t queued = c.dead ? 0 : c.out_bytes + c.delayed_bytes;
  size_t now = c.dead ? 0 : queued + c.reader.pending_bytes();
  held_ = held_ - c.held + now;
  queued_ = queued_ - c.queued + queued;
  c.held = now;
  c.queued = queued;
  stats_.peak_held = std::max(stats_.peak_held, held_);
  // Taking up requests and reading stop at the budget; what one request's reply adds past it is
  // within a reply's limit. Only events that one request sends to many clients go further.
  if (held_ > config_.memory_budget + reply_limit() + kReadChunk) shed_load();
}

void Server::disconnect(Client& c) {
  c.dead = true;
  held_ -= c.held;
  queued_ -= c.queued;
  c.held = 0;
  c.queued = 0;
  c.out.clear();
  c.out_bytes = 0;
  c.out_sent = 0;
}

void Server::shed_load() {
  // Far past the budget, some client holds more than its share (budget / clients): the one
  // holding the most goes at once, until the rest fits. Its memory is given back at once.
  while (held_ > config_.memory_budget) {
    Client* biggest = nullptr;
    for (auto& [id, c] : clients_)
      if (!c->dead && (!biggest || c->held > biggest->held)) biggest = c.get();
    if (!biggest) return;
    disconnect(*biggest);
    ++stats_.dropped_over_budget;
  }
}

bool Server::budget_spent() const { return held_ >= config_.memory_budget; }

bool Server::may_read(const Client& c) const {
  // A daemon going down reads nothing more. When nothing at all waits to be written, the budget
  // is spent by requests alone, and reading the rest of them is the only way on.
  return phase_ == Phase::kServing && !c.read_closed && (!budget_spent() || queued_ == 0);
}

bool Server::may_take_request(const Client& c) const {
  // A request is taken up while the budget is not spent, so that the replies being written and
  // the one being built stay within it. When nothing at all waits to be written, the budget is
  // spent by requests alone: taking them up is then the only way on, one reply at a time.
  return handling_requests() && c.out_bytes < kQueuedToPause && (!budget_spent() || queued_ == 0);
}

std::optional<Server::Clock::time_point> Server::stall_since(Client& c) {
  if (!c.out.empty()) return c.blocked_since;
  // An unfinished request holds the budget too, unless the rest of it is on its way: sent, and
  // waiting in the socket to be read once the budget allows.
  if (c.reader.pending_bytes() == 0 || c.reader.has_line()) return std::nullopt;
  int unread = 0;
  if ((c.tls && c.tls->has_pending()) || (::ioctl(c.fd.get(), FIONREAD, &unread) == 0 && unread > 0))
    return std::nullopt;
  return c.input_moved;
}

void Server::drop_stalled(Clock::time_point now) {
  stall_check_at_.reset();
  auto limit = std::chrono::milliseconds(config_.stall_ms);
  // The clients that stall the budget go, the one holding the most first, until the rest fits;
  // the clients that read their replies are left to drain it.
  while (budget_spent()) {
    Client* worst = nullptr;
    for (auto& [id, c] : clients_) {
      if (c->dead) continue;
      auto since = stall_since(*c);
      if (since && now - *since >= limit && (!worst || c->held > worst->held)) worst = c.get();
    }
    if (!worst) break;
    disconnect(*worst);
    ++stats_.dropped_over_budget;
  }
  if (!budget_spent()) return;
  // The next look: when the first of the others that hold something could have stalled (output
  // not yet found blocked: the next poll tells).
  for (auto& [id, c] : clients_) {
    if (c->dead) continue;
    auto since = stall_since(*c);
    if (!since && !c->out.empty()) since = now;
    if (since && (!stall_check_at_ || *since + limit < *stall_check_at_))
      stall_check_at_ = *since + limit;
  }
}

size_t Server::request_limit() const { return std::min(config_.max_request, config_.memory_budget); }

size_t Server::reply_limit() const { return std::min(config_.max_reply, config_.memory_budget); }

void Server::log_line(std::string_view line) {
  if (!log_fd_) return;
  std::string text(line);
  text.push_back('\n');
  k::write_all(log_fd_.get(), text.data(), text.size());
}

void Server::handle_line(ConnId id, Client& c, std::string_view line) {
  std::string_view raw = line;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;  // blank: ignored
  if (line.size() > request_limit()) {
    reply(id, c, nullptr, Reply::failure(kResourcesExceeded, request_too_long(request_limit())));
    return;
  }
  log_line(raw);
  // Strings holding \u0000 are refused as the client refuses them: as not JSON.
  k::Json msg = k::json_parse(line);
  if (!msg) {
    reply(id, c, nullptr, Reply::failure(kParseError, "the line is not JSON"));
    return;
  }
  handle_message(id, c, msg.get());
}

void Server::reply(ConnId id, Client& c, json_t* msg_id, const Reply& r) {
  std::string text = reply_text(msg_id, r);
  if (text.size() > reply_limit()) {
    std::string why = "the reply would take " + std::to_string(text.size()) +
                      " bytes, more than the " + size_text(reply_limit()) + " a reply may take";
    text = reply_text(msg_id, Reply::failure(kResourcesExceeded, why));
  }
  send_reply_text(id, c, std::move(text));
}

void Server::send_reply_text(ConnId id, Client& c, std::string text) {
  if (config_.delay_ms <= 0 || phase_ != Phase::kServing) {
    enqueue(c, std::move(text));
    return;
  }
  ++c.delayed;
  c.delayed_bytes += text.size();
  delayed_.push_back({Clock::now() + std::chrono::milliseconds(config_.delay_ms), id,
                      std::move(text)});
  account(c);
}

void Server::release_due_replies(bool all) {
  auto now = Clock::now();
  // Every reply waits the same delay, so the queue is ordered by due time.
  while (!delayed_.empty() && (all || delayed_.front().due <= now)) {
    Delayed d = std::move(delayed_.front());
    delayed_.pop_front();
    auto it = clients_.find(d.conn);
    if (it == clients_.end()) continue;
    Client& c = *it->second;
    --c.delayed;
    c.delayed_bytes -= d.text.size();
    enqueue(c, std::move(d.text));
    if (!c.dead) write_client(c);
  }
}

void Server::reap() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    Client& c = *it->second;
    bool finished = c.read_closed && c.out.empty() && c.delayed == 0 && !c.reader.has_line() &&
                    c.downloading == 0;
    if (c.dead || finished) {
      ConnId id = it->first;
      if (c.delayed) std::erase_if(delayed_, [id](const Delayed& d) { return d.conn == id; });
      held_ -= c.held;
      queued_ -= c.queued;
      router_.forget(id);
      it = clients_.erase(it);
      accept_paused_ = false;  // a descriptor is free again
    } else {
      ++it;
    }
  }
}

}  // namespace sim
