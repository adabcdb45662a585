// Shared by the server's tests: a veld-sim server on a socket, a line-based client, and the
// requests they exchange.
#pragma once

#include "daemon/server.h"


#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "daemon/authentication.h"
#include "downloads/firmware_image.h"
#include "engine/test_model.h"
#include "platform/line_reader.h"
#include "platform/socket.h"
#include "platform/tcp.h"
#include "testing/temp_dir.h"
#include "testing/test_tcp_peer.h"

// Test helpers: a veld-sim server on a socket in a fresh temporary folder, served by a thread,
// and a line-based client. Waits are bounded so a broken server fails a test instead of hanging
// it; no test depends on how long anything takes.
namespace sim::test {

// A JSON value as compact text ("none" for none), for messages in test failures.
inline std::string dump(json_t* v) {
  return v ? k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY) : "none";
}

// A server on the test model (with these accounts) at `socket_path`, running in its own thread
// until stopped.
struct RunningServer {
  explicit RunningServer(ServerConfig config = {}, Accounts accounts = {})
      : engine(test_model_tree(), std::move(accounts)) {
    start(std::move(config));
  }
  // A server on a device built from `setup`, booted first.
  RunningServer(ServerConfig config, DeviceSetup setup) : engine(std::move(setup)) {
    std::string error;
    if (!engine.boot(error)) throw std::runtime_error(error);
    start(std::move(config));
  }
  ~RunningServer() { stop(); }
  void start(ServerConfig config) {
    config.socket_path = socket_path = dir.file("veld.sock");
    server = std::make_unique<Server>(engine, config);
    std::string error;
    if (!server->listen(error) || ::pipe(stop_pipe) != 0) throw std::runtime_error(error);
    thread = std::thread([this] { server->run(stop_pipe[0]); });
  }
  void stop() {  // ends the loop, with whatever is still pending
    if (!thread.joinable()) return;
    (void)!::write(stop_pipe[1], "x", 1);
    thread.join();
    ::close(stop_pipe[0]), ::close(stop_pipe[1]);
  }
  k::test::TempDir dir;
  std::string socket_path;
  Engine engine;
  std::unique_ptr<Server> server;
  int stop_pipe[2] = {-1, -1};
  std::thread thread;
};

// One connection that writes text and reads lines.
struct TestClient {
  explicit TestClient(const std::string& socket_path) { int err; fd = k::unix_connect(socket_path, err); }
  bool send(const std::string& text) { return k::write_all(fd.get(), text.data(), text.size()); }
  bool request(const std::string& json) { return send(json + "\n"); }
  // The next line parsed as JSON; none when the peer closed, the read failed or nothing came
  // within a bound reached only when something is broken.
  k::Json message() {
    for (;;) {
      if (auto l = reader.next_line()) return k::json_parse(*l);
      if (!fill()) return {};
    }
  }
  // True once the server has closed the connection (reads everything still on the way).
  bool closed_by_server() {
    while (fill()) reader.clear();
    return closed;
  }
  // Reads once, at most `max` bytes (up to 64 KiB).
  bool fill(size_t max = 65536) {
    pollfd p{fd.get(), POLLIN, 0};
    char buf[65536];
    if (::poll(&p, 1, 20000) <= 0) return false;
    ssize_t n = ::read(fd.get(), buf, std::min(max, sizeof buf));
    if (n <= 0) return !(closed = true);
    reader.feed(buf, static_cast<size_t>(n));
    return true;
  }
  k::Fd fd;
  k::LineReader reader;
  bool closed = false;
};

// A member of a parsed message by a dotted key path ("error.code"); none when absent.
inline json_t* member(const k::Json& msg, const std::string& dotted) {
  json_t* v = msg.get();
  std::istringstream keys(dotted);
  for (std::string key; v && std::getline(keys, key, '.');) v = json_object_get(v, key.c_str());
  return v;
}

// Grants a new connection system access, as a login of such a user does.
inline void grant(Caller& caller) { caller.system_access = true; }

using k::test::OneShotPeer;
using k::test::http_answers;
using k::test::sends;

inline constexpr const char* kNamesRequest = R"({"jsonrpc":"2.0","id":99,"method":"GetParameterNames","params":{"ParameterPath":"Device.Host.","NextLevel":true}})";

// Sends kNamesRequest and expects its reply next: nothing else was queued for the client.
inline void expect_nothing_queued(TestClient& c) {
  c.request(kNamesRequest);
  EXPECT_EQ(dump(member(c.message(), "id")), "99");
}

// A request's text (params: JSON text).
inline std::string request(int id, const char* method, const char* params = "{}") {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
         R"(","params":)" + params + "}";
}

}  // namespace sim::test
