#include "server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "dispatch.h"
#include "list_writer.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 256 * 1024;
constexpr int kReadsPerRound = 16;  // at most 4 MiB from one client before others get a turn

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

// The id to answer with: the request's integer or string id, else null.
json_t* usable_id(json_t* msg) {
  json_t* id = json_object_get(msg, "id");
  return json_is_integer(id) || json_is_string(id) ? id : nullptr;
}

}  // namespace

Server::Server(Engine& engine, ServerConfig config)
    : engine_(engine), config_(std::move(config)), read_buf_(kReadChunk) {
  engine_.set_event_sink([this](unsigned group, k::Json data) {
    deliver_event(group, data.get(), nullptr);
  });
}

Server::~Server() {
  engine_.set_event_sink(nullptr);
  if (listening_) ::unlink(config_.socket_path.c_str());
}

bool Server::listen(std::string& error) {
  listen_fd_ = k::unix_listen(config_.socket_path);
  if (!listen_fd_) {
    error = "cannot listen on " + config_.socket_path + ": " + std::strerror(errno);
    return false;
  }
  listening_ = true;
  ::fcntl(listen_fd_.get(), F_SETFL, ::fcntl(listen_fd_.get(), F_GETFL) | O_NONBLOCK);
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

void Server::run(int stop_fd) {
  std::vector<pollfd> fds;
  std::vector<ConnId> ids;  // the client of each pollfd from index 2 on
  while (true) {
    fds.clear();
    ids.clear();
    fds.push_back({stop_fd, POLLIN, 0});
    fds.push_back({listen_fd_.get(), POLLIN, 0});
    for (auto& [id, c] : clients_) {
      short events = 0;
      if (!c->read_closed) events |= POLLIN;
      if (c->out_sent < c->out.size()) events |= POLLOUT;
      fds.push_back({c->fd.get(), events, 0});
      ids.push_back(id);
    }
    int n = ::poll(fds.data(), fds.size(), poll_timeout_ms());
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && fds[0].revents) break;
    if (n > 0 && fds[1].revents & POLLIN) accept_clients();
    for (size_t i = 2; n > 0 && i < fds.size(); ++i) {
      auto it = clients_.find(ids[i - 2]);
      if (it == clients_.end() || it->second->dead) continue;
      Client& c = *it->second;
      short re = fds[i].revents;
      if (re & (POLLIN | POLLHUP | POLLERR)) {
        if (!c.read_closed) read_client(it->first, c);
        else if (re & (POLLHUP | POLLERR)) c.dead = true;  // nothing more can be delivered
      }
      if (re & POLLOUT && !c.dead) write_client(c);
    }
    release_due_replies();
    reap();
  }
  clients_.clear();
  delayed_.clear();
}

void Server::accept_clients() {
  while (true) {
    int fd = ::accept4(listen_fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN, or out of descriptors: the listener stays for later
    auto c = std::make_unique<Client>();
    c->fd = k::Fd(fd);
    clients_.emplace(next_id_++, std::move(c));
  }
}

void Server::read_client(ConnId id, Client& c) {
  char* buf = read_buf_.data();
  for (int round = 0; round < kReadsPerRound && !c.dead; ++round) {
    ssize_t got = ::read(c.fd.get(), buf, read_buf_.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) c.dead = true;
      return;
    }
    if (got == 0) {
      // The peer sent all it will; what it asked for is still answered.
      c.read_closed = true;
      return;
    }
    c.reader.feed(buf, static_cast<size_t>(got));
    while (!c.dead) {
      auto line = c.reader.next_line();
      if (!line) break;
      handle_line(id, c, *line);
    }
    if (c.reader.pending_bytes() > config_.max_input) c.dead = true;
  }
}

void Server::write_client(Client& c) {
  while (c.out_sent < c.out.size()) {
    ssize_t w = ::send(c.fd.get(), c.out.data() + c.out_sent, c.out.size() - c.out_sent,
                       MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) c.dead = true;
      break;
    }
    c.out_sent += static_cast<size_t>(w);
  }
  if (c.out_sent == c.out.size()) {
    c.out.clear();
    c.out_sent = 0;
  } else if (c.out_sent > c.out.size() / 2) {
    c.out.erase(0, c.out_sent);
    c.out_sent = 0;
  }
}

void Server::enqueue(Client& c, std::string_view text) {
  if (c.dead) return;
  c.out.append(text);
  if (c.out.size() - c.out_sent > config_.max_output) c.dead = true;  // it does not read
}

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
    // Replies from a client answer nothing the daemon asked: dropped.
    if (raw_id && (json_object_get(msg, "result") || json_object_get(msg, "error"))) return;
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
  } else {
    r = dispatch(engine_, c.caller, name, params);
    if (!r) r = Reply::failure(kMethodNotFound, "no method " + name);
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
  if (r.ok() && !r.result_text.empty()) {
    // A listing comes encoded already: only the envelope is added around it.
    std::string text = "{\"jsonrpc\":\"2.0\",\"id\":";
    append_json_value(text, msg_id ? msg_id : json_null());
    text += ",\"result\":";
    text += r.result_text;
    text += "}\n";
    send_reply_text(id, c, std::move(text));
    return;
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
  send_reply_text(id, c, compact(msg.get()));
}

void Server::send_reply_text(ConnId id, Client& c, std::string text) {
  if (config_.delay_ms <= 0) {
    if (c.out.empty()) {
      c.out = std::move(text);  // a large reply is not copied
      if (c.out.size() > config_.max_output) c.dead = true;
    } else {
      enqueue(c, text);
    }
    return;
  }
  ++c.delayed;
  delayed_.push_back({Clock::now() + std::chrono::milliseconds(config_.delay_ms), id,
                      std::move(text)});
}

void Server::release_due_replies() {
  auto now = Clock::now();
  // Every reply waits the same delay, so the queue is ordered by due time.
  while (!delayed_.empty() && delayed_.front().due <= now) {
    Delayed d = std::move(delayed_.front());
    delayed_.pop_front();
    auto it = clients_.find(d.conn);
    if (it == clients_.end()) continue;
    --it->second->delayed;
    enqueue(*it->second, d.text);
    write_client(*it->second);
  }
}

int Server::poll_timeout_ms() const {
  if (delayed_.empty()) return -1;
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(delayed_.front().due -
                                                                    Clock::now());
  return wait.count() <= 0 ? 0 : static_cast<int>(wait.count()) + 1;
}

void Server::reap() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    Client& c = *it->second;
    bool finished = c.read_closed && c.out_sent == c.out.size() && c.delayed == 0;
    if (c.dead || finished) {
      router_.forget(it->first);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace sim
