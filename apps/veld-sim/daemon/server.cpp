#include "daemon/server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace sim {

namespace {

// Going down for a reboot, the daemon waits this long at most for its clients to read what is
// still queued for them.
constexpr auto kDrainLimit = std::chrono::seconds(1);

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
    k::Json params = k::Json::take(json_object());
    json_object_set_new(params.get(), "EventId", json_integer(group));
    if (data) json_object_set(params.get(), "Data", data.get());
    send_event(group, params.get(), nullptr);
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

  const Method* m = find_method(name);
  if (!m) {
    if (wants_reply) reply(id, c, raw_id, Reply::failure(kMethodNotFound, "no method " + name));
    return;
  }
  Request request{id, c, params, raw_id, *m};
  std::optional<Reply> r = (this->*m->run)(request);
  if (r && wants_reply) reply(id, c, raw_id, *r);
}

void Server::send_event(unsigned group, json_t* params, const ConnId* sender) {
  k::Json msg = k::Json::take(json_object());
  json_object_set_new(msg.get(), "jsonrpc", json_string("2.0"));
  json_object_set_new(msg.get(), "method", json_string("Event"));
  json_object_set(msg.get(), "params", params);
  std::string text = k::json_dump(msg.get(), JSON_COMPACT) + "\n";
  for (ConnId to : router_.recipients(group, sender)) {
    auto it = clients_.find(to);
    if (it != clients_.end()) enqueue(*it->second, text);
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
