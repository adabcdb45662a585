// Test support: a peer on a UNIX socket in a temporary folder, playing veld for one connection.
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

// A peer on a UNIX socket in a temporary folder: `serve` runs on its own thread with the accepted
// connection's descriptor.
class Peer {
 public:
  explicit Peer(std::function<void(int)> serve) : path_(dir_.file("s")) {
    listener_ = k::unix_listen(path_);
    thread_ = std::thread([this, serve] {
      int fd = accept(listener_.get(), nullptr, nullptr);
      if (fd >= 0) {
        serve(fd);
        close(fd);
      }
    });
  }
  ~Peer() { thread_.join(); }
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
  k::Fd listener_;
  std::thread thread_;
};

// A daemon for exact requests on a UNIX socket in a temporary folder. It serves one connection at
// a time and accepts the next one when the client connects again. Each request is logged as
// "<method> <params as compact JSON>" (just the method without params) and answered with the
// reply scripted for that text: the JSON text of the reply's "result", or of its "error" when it
// begins with {"code"; a request without a script gets error 9005.
class ScriptedDaemon {
 public:
  // A scripted answer that is no reply: the daemon ends the connection instead, with the ones
  // waiting to be accepted, as a device that goes away (to restart) while a request waits; the
  // client's next connection is served.
  static constexpr const char* kGoAway = "<go away>";

  explicit ScriptedDaemon(std::map<std::string, std::string> replies = {})
      : path_(dir_.file("veld.sock")), replies_(std::move(replies)) {
    listener_ = k::unix_listen(path_);
    thread_ = std::thread([this] { run(); });
  }
  ~ScriptedDaemon() {
    ::shutdown(listener_.get(), SHUT_RDWR);  // ends the wait in accept
    drop_connection();
    thread_.join();
  }
  ScriptedDaemon(const ScriptedDaemon&) = delete;
  ScriptedDaemon& operator=(const ScriptedDaemon&) = delete;

  const std::string& path() const { return path_; }
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
  // Ends the connection being served, as a daemon that restarts does: the client's next write
  // fails at once, and its next connection is accepted.
  void drop_connection() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ >= 0) ::shutdown(current_, SHUT_RDWR);
  }

 private:
  void run() {
    for (int fd; (fd = ::accept(listener_.get(), nullptr, nullptr)) >= 0;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = fd;
      }
      bool went_away = serve(fd);
      std::lock_guard<std::mutex> lock(mutex_);
      current_ = -1;
      ::close(fd);
      if (went_away) drop_waiting_connections();
    }
  }
  void drop_waiting_connections() {
    for (pollfd p{listener_.get(), POLLIN, 0}; ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);) {
      int fd = ::accept(listener_.get(), nullptr, nullptr);
      if (fd < 0) return;
      ::close(fd);
    }
  }
  // Serves one connection until the client closes it, or until it is told to go away (true).
  bool serve(int fd) {
    std::string line;
    for (char c; ::read(fd, &c, 1) == 1;) {
      if (c != '\n') {
        line += c;
        continue;
      }
      k::Json request = k::json_parse(std::exchange(line, {}));
      json_t* params = json_object_get(request.get(), "params");
      std::string logged = k::json_text(request.get(), "method");
      if (params) logged += " " + k::json_dump(params, JSON_COMPACT);
      std::string answer;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back(logged);
        auto found = replies_.find(logged);
        answer = found != replies_.end()
                     ? found->second
                     : R"({"code":9005,"message":"Invalid parameter name"})";
        std::deque<std::string>& queued = sequences_[logged];
        if (!queued.empty()) {
          answer = queued.front();
          queued.pop_front();
        }
      }
      if (answer == kGoAway) return true;
      bool error = answer.rfind(R"({"code")", 0) == 0;
      k::Json reply = k::Json::take(json_pack("{s:s, s:O, s:o}", "jsonrpc", "2.0", "id",
                                              json_object_get(request.get(), "id"),
                                              error ? "error" : "result",
                                              k::json_parse(answer).release()));
      std::string text = k::json_dump(reply.get(), JSON_COMPACT) + "\n";
      k::write_all(fd, text.data(), text.size());
    }
    return false;
  }

  TempDir dir_;
  std::string path_;
  k::Fd listener_;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::map<std::string, std::deque<std::string>> sequences_;
  std::vector<std::string> log_;
  int current_ = -1;
};

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

}  // namespace k::test
