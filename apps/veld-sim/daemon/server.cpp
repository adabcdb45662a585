#include "daemon/server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "daemon/dispatch.h"
#include "engine/caller_rights.h"
#include "engine/list_writer.h"

namespace sim {

namespace {

// What one client gets in one turn of the round: one read, a few requests, a few writes.
constexpr size_t kReadChunk = 256 * 1024;
constexpr int kLinesPerTurn = 16;
// A client's requests wait while this much of its output waits to be written: one that does not
// read its replies stops being read itself (and its own sending stalls), instead of piling up.
constexpr size_t kQueuedToPause = 1 << 20;
constexpr size_t kWrittenPerTurn = 4 << 20;
constexpr int kIovecs = 64;
// Going down for a reboot, the daemon waits this long at most for its clients to read what is
// still queued for them.
constexpr auto kDrainLimit = std::chrono::seconds(1);

k::Json object() { return k::Json::take(json_object()); }

std::string compact(json_t* v) { return k::json_dump(v, JSON_COMPACT) + "\n"; }

// The event message around `params` (EventId, and Data when there is any), as one line.
std::string event_message(json_t* params) {
  k::Json msg = object();
  json_object_set_new(msg.get(), "jsonrpc", json_string("2.0"));
  json_object_set_new(msg.get(), "method", json_string("Event"));
  json_object_set(msg.get(), "params", params);
  return compact(msg.get());
}

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
  return compact(msg.get());
}

// A poll time-out that does not wake before `when`.
int ms_until(std::chrono::steady_clock::time_point when) {
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
      when - std::chrono::steady_clock::now());
  if (wait.count() <= 0) return 0;
  return static_cast<int>(std::min<long long>(wait.count(), INT_MAX - 1)) + 1;
}

// The id to answer with: the request's integer or string id, else null.
json_t* usable_id(json_t* msg) {
  json_t* id = json_object_get(msg, "id");
  return json_is_integer(id) || json_is_string(id) ? id : nullptr;
}

}  // namespace

Server::Server(Engine& engine, ServerConfig config)
    : engine_(engine),
      config_(std::move(config)),
      read_buf_(kReadChunk),
      downloads_(engine, config_.download) {
  engine_.set_event_sink([this](unsigned group, k::Json data) {
    deliver_event(group, data.get(), nullptr);
  });
}

Server::~Server() {
  engine_.set_event_sink(nullptr);
  if (listening_) ::unlink(config_.socket_path.c_str());
}

bool Server::listen(std::string& error) {
  if (!config_.tls_cert.empty() || !config_.tls_key.empty()) {
    tls_ = k::TlsContext::server(config_.tls_cert, config_.tls_key, error);
    if (!tls_) return false;
  }
  if (!open_listener(error)) return false;
  if (!config_.request_log.empty()) {
    log_fd_ = k::Fd(::open(config_.request_log.c_str(),
                           O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!log_fd_) {
      error = "cannot open " + config_.request_log + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool Server::open_listener(std::string& error) {
  listen_fd_ = k::unix_listen(config_.socket_path);
  if (!listen_fd_) {
    error = "cannot listen on " + config_.socket_path + ": " + std::strerror(errno);
    return false;
  }
  listening_ = true;
  ::fcntl(listen_fd_.get(), F_SETFL, ::fcntl(listen_fd_.get(), F_GETFL) | O_NONBLOCK);
  if (config_.tcp) {
    k::TcpAddress at = *config_.tcp;
    if (tcp_port_) at.port = tcp_port_;  // after a reboot: the port the clients know
    tcp_fd_ = k::tcp_listen(at, tcp_port_, error);
    if (!tcp_fd_) {
      close_listener();
      return false;
    }
  }
  return true;
}

void Server::close_listener() {
  if (!listening_) return;
  // Unlinked first: a client connecting from now on finds no socket (ENOENT), never one that
  // is about to close.
  ::unlink(config_.socket_path.c_str());
  listen_fd_.reset();
  tcp_fd_.reset();  // TCP clients are refused meanwhile
  listening_ = false;
  accept_paused_ = false;
}

void Server::run(int stop_fd) {
  std::vector<pollfd> fds;
  std::vector<ConnId> ids;  // the client of each pollfd from index kFirstClient on
  constexpr size_t kFirstClient = 3;
  while (true) {
    if (phase_ == Phase::kDown) {
      if (!rest_and_boot(stop_fd)) break;
      continue;
    }
    fds.clear();
    ids.clear();
    fds.push_back({stop_fd, POLLIN, 0});
    bool accepting = listener_polled(Clock::now());
    fds.push_back({accepting ? listen_fd_.get() : -1, POLLIN, 0});
    fds.push_back({accepting && tcp_fd_ ? tcp_fd_.get() : -1, POLLIN, 0});
    bool backlog = false;  // some client has lines that can be handled at once
    for (auto& [id, c] : clients_) {
      if (c->handshaking) {
        fds.push_back({c->fd.get(), c->tls_wants, 0});
        ids.push_back(id);
        continue;
      }
      bool lines_waiting = c->reader.has_line();
      backlog |= lines_waiting && may_take_request(*c);
      // Bytes OpenSSL already holds do not show in the poll.
      backlog |= !lines_waiting && c->tls && c->tls->has_pending() && may_read(*c);
      short events = 0;
      // A client's unhandled lines are worked off before more of its input is read.
      if (!lines_waiting && may_read(*c)) events |= POLLIN;
      if (!c->out.empty()) events |= POLLOUT;
      // A client waited on for nothing is left out: a socket that hung up would stay ready
      // while its requests wait for the budget.
      fds.push_back({events ? c->fd.get() : -1, events, 0});
      ids.push_back(id);
    }
    fds.push_back({downloads_.wake_fd(), POLLIN, 0});  // last: a fetch has finished
    auto poll_started = Clock::now();
    int n = ::poll(fds.data(), fds.size(), poll_timeout_ms(backlog));
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && fds[0].revents) break;
    if (n > 0 && fds[1].revents & POLLIN) accept_clients(listen_fd_.get(), false);
    if (n > 0 && fds[2].revents & POLLIN) accept_clients(tcp_fd_.get(), true);
    if (n > 0 && fds.back().revents & POLLIN) finish_downloads();
    advance_upgrade();
    // Every client gets one turn per round; the first turn goes to another client each round.
    size_t first = ids.empty() ? 0 : turn_++ % ids.size();
    for (size_t k = 0; k < ids.size(); ++k) {
      size_t i = (first + k) % ids.size();
      auto it = clients_.find(ids[i]);
      if (it == clients_.end() || it->second->dead) continue;
      const pollfd& p = fds[i + kFirstClient];
      // Output waited and the client left no room for it all the poll long: it holds its
      // output up (since the first such poll).
      if (n >= 0 && (p.events & POLLOUT) && !(p.revents & (POLLOUT | POLLHUP | POLLERR)) &&
          !it->second->blocked_since)
        it->second->blocked_since = poll_started;
      serve_turn(it->first, *it->second, n > 0 ? fds[i + kFirstClient].revents : 0);
    }
    release_due_replies();
    drop_stalled(Clock::now());
    reap();
    if (phase_ == Phase::kGoingDown && (drained() || Clock::now() >= phase_until_))
      drop_everybody();
  }
  clients_.clear();
  delayed_.clear();
  held_ = 0;
  queued_ = 0;
}

void Server::note_reboot(ConnId id, const RebootRequest& request) {
  if (phase_ == Phase::kGoingDown) {  // a later Reboot joins the one going on
    if (request.device_mode) reboot_.device_mode = request.device_mode;
    if (reboot_.force || !request.force) return;
  } else {
    reboot_ = request;
    reboot_conn_ = id;
    phase_ = Phase::kGoingDown;
    phase_until_ = Clock::now() + kDrainLimit;
    close_listener();
  }
  reboot_.force = request.force;
  if (!reboot_.force) {
    release_due_replies(true);  // a daemon going down keeps nothing back
    return;
  }
  // Forced: only the reply to the Reboot (and what its connection was sent before) goes out.
  for (auto& [other, c] : clients_)
    if (other != reboot_conn_) disconnect(*c);
  for (const Delayed& d : delayed_) {
    auto it = clients_.find(d.conn);
    if (it == clients_.end()) continue;
    --it->second->delayed;
    it->second->delayed_bytes -= d.text.size();
    account(*it->second);
  }
  delayed_.clear();
}

bool Server::handling_requests() const { return phase_ == Phase::kServing || !reboot_.force; }

bool Server::drained() const {
  for (const auto& [id, c] : clients_) {
    if (c->dead || (reboot_.force && id != reboot_conn_)) continue;
    if (!c->out.empty() || c->delayed || (!reboot_.force && c->reader.has_line())) return false;
  }
  return true;
}

void Server::drop_everybody() {
  downloads_.reboot();
  for (auto& [id, c] : clients_) disconnect(*c);
  reap();
  delayed_.clear();
  phase_ = Phase::kDown;
  phase_until_ = Clock::now() + std::chrono::milliseconds(config_.reboot_ms);
}

bool Server::rest_and_boot(int stop_fd) {
  pollfd stop{stop_fd, POLLIN, 0};
  int n = ::poll(&stop, 1, ms_until(phase_until_));
  if (n > 0 || (n < 0 && errno != EINTR)) return false;
  if (Clock::now() < phase_until_) return true;
  std::string error;
  if (!engine_.boot(error, reboot_.device_mode))
    std::fprintf(stderr, "veld-sim: %s (serving the model file's contents)\n", error.c_str());
  if (!open_listener(fatal_error_)) return false;
  phase_ = Phase::kServing;
  reboot_ = {};
  return true;
}

bool Server::listener_polled(Clock::time_point now) {
  if (!listening_) return false;
  if (accept_paused_ && now >= accept_retry_at_) accept_paused_ = false;
  return !accept_paused_;
}

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

void Server::handle_message(ConnId id, Client& c, json_t* msg) {
  json_t* msg_id = usable_id(msg);
  auto invalid = [&](const char* why) { reply(id, c, msg_id, Reply::failure(kInvalidRequest, why)); };
  if (!json_is_object(msg)) return invalid("a message is a JSON object");
  json_t* version = json_object_get(msg, "jsonrpc");
  if (!json_is_string(version) || std::strcmp(json_string_value(version), "2.0") != 0)
    return invalid("\"jsonrpc\" must be \"2.0\"");
  json_t* raw_id = json_object_get(msg, "id");
  if (raw_id && !msg_id && !json_is_null(raw_id))
    return invalid("\"id\" must be an integer or a text");
  json_t* method = json_object_get(msg, "method");
  if (!method) {
    // Replies from a client answer nothing the daemon asked: dropped, with or without an id.
    if (json_object_get(msg, "result") || json_object_get(msg, "error")) return;
    return invalid("\"method\" is missing");
  }
  if (!json_is_string(method)) return invalid("\"method\" must be a text");
  json_t* params = json_object_get(msg, "params");
  if (params && !json_is_object(params) && !json_is_array(params))
    return invalid("\"params\" must be an object");
  bool wants_reply = raw_id != nullptr;
  std::string name = json_string_value(method);

  std::optional<Reply> r;
  if (name == "Event") {
    if (!json_is_object(params) || !json_is_integer(json_object_get(params, "EventId")) ||
        json_integer_value(json_object_get(params, "EventId")) < 0 ||
        json_integer_value(json_object_get(params, "EventId")) > UINT_MAX) {
      r = Reply::failure(kInvalidParams, "an event needs a non-negative integer EventId");
    } else {
      handle_event(id, params);
      r = Reply::status_ok();
    }
  } else if (name == "JoinGroup") {
    r = join_group(id, params);
  } else if (name == "Download") {
    // A fetch replies later, from finish_downloads().
    r = downloads_.request(id, raw_id, wants_reply, c.caller, params, Clock::now());
    if (auto reboot = engine_.take_reboot()) note_reboot(0, *reboot);  // a flash of no time
    if (!r) {
      ++c.downloading;
      return;
    }
  } else if (auto auth = authentication_method(engine_.accounts(), c.peer, name, params,
                                               c.caller)) {
    r = std::move(auth);
  } else {
    r = dispatch(engine_, c.caller, name, params);
    if (!r) r = Reply::failure(kMethodNotFound, "no method " + name);
    if (auto reboot = engine_.take_reboot()) note_reboot(id, *reboot);
  }
  if (wants_reply) reply(id, c, raw_id, *r);
}

void Server::handle_event(ConnId id, json_t* params) {
  unsigned group = static_cast<unsigned>(json_integer_value(json_object_get(params, "EventId")));
  std::string text = event_message(params);
  for (ConnId to : router_.recipients(group, &id)) {
    auto it = clients_.find(to);
    if (it != clients_.end()) enqueue(*it->second, text);
  }
}

Reply Server::join_group(ConnId id, json_t* params) {
  json_t* group = json_object_get(params, "Group");
  json_t* session = json_object_get(params, "Session");
  json_t* receiver = json_object_get(params, "Receiver");
  if (!json_is_object(params) || !json_is_integer(group) || json_integer_value(group) < 0 ||
      json_integer_value(group) > UINT_MAX || (session && !json_is_string(session)) ||
      (receiver && !json_is_boolean(receiver)))
    return Reply::failure(kInvalidParams,
                          "expects Group (integer), Session (text), Receiver (boolean)");
  router_.join(id, static_cast<unsigned>(json_integer_value(group)),
               session ? json_string_value(session) : "", json_is_true(receiver));
  return Reply::status_ok();
}

void Server::deliver_event(unsigned group, json_t* data, const ConnId* sender) {
  k::Json params = object();
  json_object_set_new(params.get(), "EventId", json_integer(group));
  if (data) json_object_set(params.get(), "Data", data);
  std::string text = event_message(params.get());
  for (ConnId to : router_.recipients(group, sender)) {
    auto it = clients_.find(to);
    if (it != clients_.end()) enqueue(*it->second, text);
  }
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

int Server::poll_timeout_ms(bool backlog) const {
  if (backlog) return 0;
  std::optional<Clock::time_point> wake;
  if (!delayed_.empty()) wake = delayed_.front().due;
  if (accept_paused_ && (!wake || accept_retry_at_ < *wake)) wake = accept_retry_at_;
  if (phase_ == Phase::kGoingDown && (!wake || phase_until_ < *wake)) wake = phase_until_;
  if (auto flash = downloads_.next_wake(); flash && (!wake || *flash < *wake)) wake = flash;
  if (stall_check_at_ && (!wake || *stall_check_at_ < *wake)) wake = stall_check_at_;
  if (!wake) return -1;
  return ms_until(*wake);
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

void Server::finish_downloads() {
  for (DownloadService::Finished& f : downloads_.collect(Clock::now())) {
    auto it = clients_.find(f.conn);
    if (it == clients_.end()) continue;
    --it->second->downloading;
    if (f.wants_reply && !it->second->dead) reply(f.conn, *it->second, f.msg_id.get(), f.reply);
  }
}

void Server::advance_upgrade() {
  if (phase_ != Phase::kServing) return;
  downloads_.advance(Clock::now());
  // The end of a flash reboots the device as a Reboot does, asked by no connection.
  if (auto reboot = engine_.take_reboot()) note_reboot(0, *reboot);
}

}  // namespace sim
