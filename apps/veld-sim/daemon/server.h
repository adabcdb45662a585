// The daemon: one poll loop serving many clients over a UNIX socket (and TCP), routing their
// requests through one method table, with per-client output queues, delayed replies, event
// routing, reboots and the request log. The connections' side (accepting, TLS, reading and
// writing, the memory budget) is in connections.cpp; the methods in methods.cpp. Clients are
// served in turns (a bounded amount of reading and requests each), and the bytes held for all of
// them together stay within one memory budget: while it is spent, no request is read or taken
// up, and only clients that stall the budget (they do not read) are disconnected.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "daemon/connection.h"
#include "daemon/dispatch.h"
#include "downloads/download_service.h"
#include "engine/engine.h"
#include "engine/event_router.h"
#include "platform/tcp.h"
#include "platform/tls.h"

namespace sim {

// How the server behaves.
struct ServerConfig {
  std::string socket_path{};
  std::optional<k::TcpAddress> tcp{};  // also listen on TCP there (port 0: any free port)
  std::string tls_cert{}, tls_key{};   // both given: the TCP listener speaks TLS
  int delay_ms = 0;              // replies leave this long after their request arrived
  std::string request_log{};     // every received line is appended here ("" none)
  // Queued output, held-back replies and received input not yet handled, of all clients
  // together. While they reach it, nobody's input is read and no request is taken up (a reply
  // taken up before may pass it, by its own size at most), unless nothing at all waits to be
  // written; clients that stall it go (stall_ms).
  size_t memory_budget = 512u << 20;
  // While the budget is spent, a client whose queued output has not moved this long (its socket
  // full, nothing written), or whose unfinished request has not grown this long (nothing more
  // sent), is disconnected: the one holding the most first, until the rest is within the budget.
  int stall_ms = 2000;  // well within the 5 s velc waits for a reply
  size_t max_request = 4u << 20;   // a longer request line (or one longer than the budget)
                                   // gets 9004 and is dropped unread
  size_t max_reply = 256u << 20;   // a larger reply is replaced by a 9004 error
  // Out of descriptors, the listener rests until a client closes, or at the latest this long.
  int accept_retry_ms = 1000;
  // After a Reboot has dropped every connection, new ones are refused this long.
  int reboot_ms = 2000;
  // Called with the caller of each new connection (tests grant with it what a login gives).
  std::function<void(Caller&)> on_connect{};
  DownloadSettings download{};  // the Download method's folders and times
};

// What the server counted, for tests and diagnostics.
struct ServerStats {
  size_t accept_failures = 0;  // accepts that failed for want of descriptors or memory
  size_t dropped_over_budget = 0;  // stalled clients dropped to free the budget (and past it)
  size_t peak_held = 0;  // the most the clients held together (the budget's measure)
};

class Server {
 public:
  using Clock = std::chrono::steady_clock;

  Server(Engine& engine, ServerConfig config);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Creates the listening sockets (and opens the request log); false with `error` set.
  bool listen(std::string& error);
  // The port of the TCP listener once listening (0: none).
  uint16_t tcp_port() const { return tcp_port_; }
  // Serves until `stop_fd` becomes readable; then closes every client and removes the socket.
  // Also ends when the socket cannot be made again after a reboot (see fatal_error).
  void run(int stop_fd);
  // The counters so far.
  const ServerStats& stats() const { return stats_; }
  // Why run() ended by itself; "" when it was stopped.
  const std::string& fatal_error() const { return fatal_error_; }

 private:

  struct Method;
  // One request as a method's handler takes it.
  struct Request {
    ConnId id;
    Client& client;
    json_t* params;  // as sent: none, an object or an array
    json_t* msg_id;  // the id as sent; none for a notification, which gets no reply
    const Method& method;
    // The call as the handler checks it, with the right its method asks for.
    Call call() const { return {client.caller, method.right, method.name}; }
  };
  // Runs a method; none when its reply comes later (a Download's fetch).
  using Handler = std::optional<Reply> (Server::*)(Request& request);
  // A method of the daemon: what it is called, what it asks of its caller, and what runs it.
  // The handler checks that right once the params have the right shape (Call::refused), so that
  // a request of the wrong shape is told so whoever sends it; what a right by path asks, the
  // engine checks on each path.
  struct Method {
    std::string_view name;
    MethodRight right;
    Handler run;
  };
  // The method of that name; none for a name the daemon does not know.
  static const Method* find_method(std::string_view name);
  std::optional<Reply> event(Request& request);
  std::optional<Reply> join_group(Request& request);
  std::optional<Reply> download(Request& request);
  template <AccountMethod method>
  std::optional<Reply> account_method(Request& request);
  template <EngineMethod method>
  std::optional<Reply> engine_method(Request& request);

  // A reply held back by --delay.
  struct Delayed {
    Clock::time_point due;
    ConnId conn;
    std::string text;
  };

  // Serving; going down after a Reboot (the reply, and without Force all pending work, still
  // being written); down (no socket) until the reboot time is over.
  enum class Phase { kServing, kGoingDown, kDown };

  bool open_listener(std::string& error);
  void close_listener();
  void note_reboot(ConnId id, const RebootRequest& request);
  bool handling_requests() const;
  bool drained() const;
  void drop_everybody();
  bool rest_and_boot(int stop_fd);
  void accept_clients(int listener, bool tcp);
  void step_handshake(Client& c);
  bool read_tls(Client& c);
  void write_tls(Client& c);
  bool listener_polled(Clock::time_point now);
  void serve_turn(ConnId id, Client& c, short revents);
  void read_client(Client& c);
  void handle_lines(ConnId id, Client& c);
  void write_client(Client& c);
  void handle_line(ConnId id, Client& c, std::string_view line);
  void handle_message(ConnId id, Client& c, json_t* msg);
  void reply(ConnId id, Client& c, json_t* msg_id, const Reply& r);
  void send_reply_text(ConnId id, Client& c, std::string text);
  void enqueue(Client& c, std::string text);
  void account(Client& c);
  void disconnect(Client& c);
  void shed_load();
  bool budget_spent() const;  // the clients hold the memory budget or more
  bool may_read(const Client& c) const;          // its socket may be read now
  bool may_take_request(const Client& c) const;  // its next request may be handled now
  // Since when `c` has been holding up the bytes it holds (its output, else its unfinished
  // request); none when it holds nothing that it could move itself.
  static std::optional<Clock::time_point> stall_since(Client& c);
  // On a spent budget, disconnects the stalled clients that hold the most until the rest fits.
  void drop_stalled(Clock::time_point now);
  size_t reply_limit() const;
  size_t request_limit() const;
  // Sends an event with these params (EventId, and Data when there is any) to the recipients
  // of its group (not to its sender).
  void send_event(unsigned group, json_t* params, const ConnId* sender);
  void release_due_replies(bool all = false);
  int poll_timeout_ms(bool backlog) const;
  void reap();
  void log_line(std::string_view line);
  void finish_downloads();
  void advance_upgrade();

  Engine& engine_;
  ServerConfig config_;
  k::Fd listen_fd_;
  k::Fd tcp_fd_;
  uint16_t tcp_port_ = 0;  // kept over a reboot: the listener comes back on the same port
  std::unique_ptr<k::TlsContext> tls_;
  k::Fd log_fd_;
  bool listening_ = false;
  bool accept_paused_ = false;   // out of descriptors: the listener is not polled
  Clock::time_point accept_retry_at_{};
  size_t held_ = 0;              // bytes held for all clients (the budget's measure)
  size_t queued_ = 0;            // of them, output and held-back replies
  // While the budget is spent: when some client may first have stalled (none: nobody holds any).
  std::optional<Clock::time_point> stall_check_at_;
  size_t turn_ = 0;              // rotates which client is served first in a round
  ServerStats stats_;
  ConnId next_id_ = 1;
  std::map<ConnId, std::unique_ptr<Client>> clients_;
  std::deque<Delayed> delayed_;
  EventRouter router_;
  std::vector<char> read_buf_;
  Phase phase_ = Phase::kServing;
  RebootRequest reboot_{};      // the reboot going on
  ConnId reboot_conn_ = 0;      // the connection that asked for it
  Clock::time_point phase_until_{};  // going down: the latest end; down: when it serves again
  std::string fatal_error_;
  DownloadService downloads_;  // last: its fetch threads end before the rest goes
};

}  // namespace sim
