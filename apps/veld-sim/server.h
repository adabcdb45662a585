// The daemon's connection handling: one poll loop serving many clients over a UNIX socket, with
// per-client output queues, delayed replies, event routing and the request log.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "event_router.h"
#include "platform/line_reader.h"
#include "platform/socket.h"

namespace sim {

// How the server behaves.
struct ServerConfig {
  std::string socket_path{};
  int delay_ms = 0;              // replies leave this long after their request arrived
  std::string request_log{};     // every received line is appended here ("" none)
  size_t max_output = 256u << 20;  // a client with more queued output is dropped
  size_t max_input = 256u << 20;   // a client with a longer unfinished line is dropped
};

class Server {
 public:
  Server(Engine& engine, ServerConfig config);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Creates the listening socket (and opens the request log); false with `error` set.
  bool listen(std::string& error);
  // Serves until `stop_fd` becomes readable; then closes every client and removes the socket.
  void run(int stop_fd);

 private:
  // One connected client.
  struct Client {
    k::Fd fd;
    k::LineReader reader;
    std::string out;            // queued output
    size_t out_sent = 0;        // bytes of `out` already written
    size_t delayed = 0;         // replies waiting in the delay queue
    bool read_closed = false;   // the peer shut its side down: close once all is sent
    bool dead = false;          // to be closed at the end of this round
    Caller caller;
  };
  // A reply held back by --delay.
  struct Delayed {
    std::chrono::steady_clock::time_point due;
    ConnId conn;
    std::string text;
  };

  void accept_clients();
  void read_client(ConnId id, Client& c);
  void write_client(Client& c);
  void handle_line(ConnId id, Client& c, std::string_view line);
  void handle_message(ConnId id, Client& c, json_t* msg);
  void handle_event(ConnId id, json_t* params);
  Reply join_group(ConnId id, json_t* params);
  void reply(ConnId id, Client& c, json_t* msg_id, const Reply& r);
  void send_reply_text(ConnId id, Client& c, std::string text);
  void enqueue(Client& c, std::string_view text);
  void deliver_event(unsigned group, json_t* data, const ConnId* sender);
  void release_due_replies();
  int poll_timeout_ms() const;
  void reap();
  void log_line(std::string_view line);

  Engine& engine_;
  ServerConfig config_;
  k::Fd listen_fd_;
  k::Fd log_fd_;
  bool listening_ = false;
  ConnId next_id_ = 1;
  std::map<ConnId, std::unique_ptr<Client>> clients_;
  std::deque<Delayed> delayed_;
  EventRouter router_;
  std::vector<char> read_buf_;
};

}  // namespace sim
