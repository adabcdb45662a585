// Test support: peers on a UNIX socket in a temporary folder, playing veld: one that runs a test's
// own code on each connection, and one that answers requests from a script.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/json.h"
#include "platform/socket.h"
#include "testing/temp_dir.h"

namespace k::test {

// Reads one request line from the peer's side.
inline std::string read_line(int fd) {
  std::string line;
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

// Writes a text to the client.
inline void say(int fd, const std::string& text) {
  ASSERT_TRUE(k::write_all(fd, text.data(), text.size()));
}

// A peer on a UNIX socket in a temporary folder, playing veld: `serve` runs on the peer's thread
// with each accepted connection's descriptor, one connection at a time, until the peer is
// destroyed (which ends the connection being served).
class Peer {
 public:
  explicit Peer(std::function<void(int)> serve) : path_(dir_.file("veld.sock")) {
    listener_ = k::unix_listen(path_);
    thread_ = std::thread([this, serve] {
      for (int fd; (fd = ::accept(listener_.get(), nullptr, nullptr)) >= 0;) {
        set_current(fd);
        serve(fd);
        // Those waiting go first, so that a client that saw its connection end is served anew.
        if (std::exchange(going_away_, false)) drop_waiting_connections();
        set_current(-1);
        ::close(fd);
      }
    });
  }
  ~Peer() {
    ::shutdown(listener_.get(), SHUT_RDWR);  // ends the wait in accept
    drop_connection();
    thread_.join();
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  const std::string& path() const { return path_; }
  // Ends the connection being served, as a daemon that restarts does: the client's next write
  // fails at once, and its next connection is accepted.
  void drop_connection() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ >= 0) ::shutdown(current_, SHUT_RDWR);
  }
  // Called by `serve`: once its connection is closed, the ones waiting to be accepted are ended
  // too, as a device going away (to restart) ends them; the client's next connection is served.
  void go_away() { going_away_ = true; }

 private:
  void set_current(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = fd;
  }
  void drop_waiting_connections() {
    for (pollfd p{listener_.get(), POLLIN, 0}; ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);) {
      int fd = ::accept(listener_.get(), nullptr, nullptr);
      if (fd < 0) return;
      ::close(fd);
    }
  }

  TempDir dir_;
  std::string path_;
  k::Fd listener_;
  std::mutex mutex_;
  int current_ = -1;
  bool going_away_ = false;  // the peer's thread only
  std::thread thread_;
};

// A daemon for exact requests. Each request is logged as "<method> <params as compact JSON>"
// (just the method without params) and answered with the reply scripted for that text: the JSON
// text of the reply's "result", or of its "error" when it begins with {"code"; a request without
// a script gets error 9005.
class ScriptedDaemon {
 public:
  // A scripted answer that is no reply: the daemon ends the connection instead, with the ones
  // waiting to be accepted, as a device that goes away (to restart) while a request waits; the
  // client's next connection is served.
  static constexpr const char* kGoAway = "<go away>";

  explicit ScriptedDaemon(std::map<std::string, std::string> replies = {})
      : replies_(std::move(replies)) {}

  const std::string& path() const { return peer_.path(); }
  // Scripts (or scripts anew) the reply to a request.
  void reply(const std::string& request, const std::string& answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[request] = answer;
  }
  // Scripts the replies to the next requests of one text, one each, in order (before any reply
  // scripted with `reply`, which answers once these are used up).
  void reply_sequence(const std::string& request, const std::vector<std::string>& answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    sequences_[request].assign(answers.begin(), answers.end());
  }
  // The requests received since the last call.
  std::vector<std::string> take_requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(log_, {});
  }
  // See Peer::drop_connection.
  void drop_connection() { peer_.drop_connection(); }

 private:
  // Logs a request and gives its scripted answer.
  std::string answer(const std::string& logged) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(logged);
    std::deque<std::string>& queued = sequences_[logged];
    if (!queued.empty()) {
      std::string next = std::move(queued.front());
      queued.pop_front();
      return next;
    }
    auto found = replies_.find(logged);
    return found != replies_.end() ? found->second
                                   : R"({"code":9005,"message":"Invalid parameter name"})";
  }
  // Serves one connection until the client closes it, or until it is told to go away.
  void serve(int fd) {
    for (std::string line; !(line = read_line(fd)).empty();) {
      k::Json request = k::json_parse(line);
      json_t* params = json_object_get(request.get(), "params");
      std::string logged = k::json_text(request.get(), "method");
      if (params) logged += " " + k::json_dump(params, JSON_COMPACT);
      std::string answer = this->answer(logged);
      if (answer == kGoAway) return peer_.go_away();
      bool error = answer.rfind(R"({"code")", 0) == 0;
      k::Json reply = k::Json::take(json_pack("{s:s, s:O, s:o}", "jsonrpc", "2.0", "id",
                                              json_object_get(request.get(), "id"),
                                              error ? "error" : "result",
                                              k::json_parse(answer).release()));
      std::string text = k::json_dump(reply.get(), JSON_COMPACT) + "\n";
      k::write_all(fd, text.data(), text.size());
    }
  }
  std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::map<std::string, std::deque<std::string>> sequences_;
  std::vector<std::string> log_;
  Peer peer_{[this](int fd) { serve(fd); }};  // last: its thread uses the members above
};

}  // namespace k::test
