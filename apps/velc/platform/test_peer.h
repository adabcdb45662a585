// Test support: a peer on a UNIX socket in a temporary folder, playing veld for one connection.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "platform/temp_dir.h"

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
