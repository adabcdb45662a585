// One connected client as the daemon serves it: its socket (and TLS session), the bytes read
// and not yet handled, the output queued for it, and what of it counts against the daemon's
// memory budget.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "daemon/authentication.h"
#include "engine/engine.h"
#include "platform/line_reader.h"
#include "platform/socket.h"
#include "platform/tls.h"

namespace sim {

// What one client gets in one turn of the serving round: one read of this many bytes at most.
inline constexpr size_t kReadChunk = 256 * 1024;

struct Client {
  k::Fd fd;
  k::LineReader reader;
  std::deque<std::string> out;  // queued messages, the first one partly written
  size_t out_sent = 0;          // bytes of the first message already written
  size_t out_bytes = 0;         // bytes of the messages in `out` (the first one whole)
  size_t delayed = 0;           // replies waiting in the delay queue
  size_t delayed_bytes = 0;     // and their bytes
  size_t held = 0;              // bytes counted against the budget (as last accounted)
  size_t queued = 0;            // of them, output and held-back replies (as last accounted)
  // When a poll first found its socket full while output waited, none of which has been
  // written since (none: it is being written).
  std::optional<std::chrono::steady_clock::time_point> blocked_since{};
  std::chrono::steady_clock::time_point input_moved{};   // when bytes last came from it
  bool skipping = false;        // dropping the rest of an over-long line as it arrives
  bool read_closed = false;     // the peer shut its side down: close once all is sent
  size_t downloading = 0;       // its Downloads whose fetch runs (their replies are due)
  bool dead = false;            // to be closed at the end of this round
  PeerCredentials peer;         // who connected, for a login without a password
  std::unique_ptr<k::TlsSession> tls;  // a TLS client's session
  bool handshaking = false;     // its handshake is still going on
  short tls_wants = POLLIN;     // the way the socket must be ready for its next TLS step
  Caller caller;                // the user logged in on this connection, or a guest
};
}  // namespace sim
