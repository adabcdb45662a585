// Test helpers: a veld-sim server on a socket in a fresh temporary folder, served by a thread,
// and a line-based client. Waits are bounded so a broken server fails a test instead of hanging
// it; no test depends on how long anything takes.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "engine.h"
#include "platform/json.h"
#include "platform/line_reader.h"
#include "platform/socket.h"
#include "server.h"
#include "test_model.h"

namespace sim::test {

// Upper bound of any wait for the server; reached only when something is broken.
inline constexpr int kGiveUpMs = 20000;

// A temporary folder removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veld-sim-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A server on the test model, running in its own thread until destroyed.
class RunningServer {
 public:
  explicit RunningServer(ServerConfig config = {}) : engine_(test_model_tree()) {
    config.socket_path = dir_.path() + "/veld.sock";
    socket_path_ = config.socket_path;
    server_ = std::make_unique<Server>(engine_, config);
    std::string error;
    if (!server_->listen(error) || ::pipe(stop_) != 0) throw std::runtime_error(error);
    thread_ = std::thread([this] { server_->run(stop_[0]); });
  }
  ~RunningServer() { stop(); }

  // Ends the loop and destroys the server (which removes its socket).
  void stop() {
    if (!thread_.joinable()) return;
    char c = 1;
    (void)!::write(stop_[1], &c, 1);
    thread_.join();
    server_.reset();
    ::close(stop_[0]);
    ::close(stop_[1]);
  }
  const std::string& socket_path() const { return socket_path_; }
  const std::string& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::string socket_path_;
  Engine engine_;
  std::unique_ptr<Server> server_;
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

// One connection that writes text and reads lines.
class TestClient {
 public:
  explicit TestClient(const std::string& socket_path) {
    int err = 0;
    fd_ = k::unix_connect(socket_path, err);
  }
  bool connected() const { return static_cast<bool>(fd_); }
  bool send(const std::string& text) { return k::write_all(fd_.get(), text.data(), text.size()); }
  // Sends a request line built from its JSON text.
  bool request(const std::string& json) { return send(json + "\n"); }
  void shut_down_writing() { ::shutdown(fd_.get(), SHUT_WR); }

  // The next line, or none when the peer closed, the read failed or nothing came in time.
  std::optional<std::string> line() {
    while (true) {
      if (auto l = reader_.next_line()) return std::string(*l);
      if (!fill()) return std::nullopt;
    }
  }
  // The next line parsed as JSON (none as for line()).
  k::Json message() {
    auto l = line();
    return l ? k::json_parse(*l) : k::Json();
  }
  // True once the server has closed the connection (reads everything still on the way).
  bool closed_by_server() {
    while (fill()) reader_.clear();
    return closed_;
  }

 private:
  bool fill() {
    pollfd p{fd_.get(), POLLIN, 0};
    if (::poll(&p, 1, kGiveUpMs) <= 0) return false;
    char buf[65536];
    ssize_t n = ::read(fd_.get(), buf, sizeof buf);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    reader_.feed(buf, static_cast<size_t>(n));
    return true;
  }

  k::Fd fd_;
  k::LineReader reader_;
  bool closed_ = false;
};

// A member of a parsed message by a dotted key path ("error.code"); none when absent.
inline json_t* member(const k::Json& msg, const std::string& dotted) {
  json_t* v = msg.get();
  size_t pos = 0;
  while (v && pos <= dotted.size()) {
    size_t dot = dotted.find('.', pos);
    if (dot == std::string::npos) dot = dotted.size();
    v = json_object_get(v, dotted.substr(pos, dot - pos).c_str());
    pos = dot + 1;
  }
  return v;
}

}  // namespace sim::test
