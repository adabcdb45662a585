// Fuzzes k::Connection reading what a misbehaving daemon sends. The input is written by the
// daemon's end of a UNIX socket in a private temporary folder, which then shuts its sending side
// down; the connection reads it twice:
// - with recv() only: every complete line comes out in order as a message, or as the error of a
//   line that is not JSON (-11) or not a JSON-RPC message (-12); blank lines are skipped; then
//   the end of the connection (-9). Each message passes check_message (message_check.h).
// - with exec(): requests are sent one after the other and each takes the reply with its id from
//   the input (parsed straight from the socket), until the connection ends; what is left is read
//   with recv(). A successful exec holds a reply to the request sent, a failed one an error made
//   here.
// Nothing waits: all the input is in the socket before reading begins.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "message_check.h"
#include "platform/jrpc_connection.h"
#include "testing/temp_dir.h"

namespace {

// Larger inputs could fill the socket before the connection reads.
constexpr size_t kMaxInput = 100'000;
constexpr int kMaxRequests = 500;

struct Daemon {
  k::test::TempDir dir;
  std::string path = dir.file("veld.sock");
  k::Fd listener = k::unix_listen(path);
};

Daemon& daemon() {
  static Daemon* d = new Daemon;  // lives as long as the process
  FUZZ_CHECK(bool(d->listener), "cannot listen on %s", d->path.c_str());
  return *d;
}

// Connects `c` and sends it `input` from the daemon's end, which then stops sending.
k::Fd serve(k::Connection& c, std::string_view input) {
  c.set_destination(daemon().path);
  c.set_timeout(10'000);
  FUZZ_CHECK(c.connect() == 0, "connect failed: %d", c.socket_err());
  k::Fd peer(accept(daemon().listener.get(), nullptr, nullptr));
  FUZZ_CHECK(bool(peer), "accept failed");
  FUZZ_CHECK(k::write_all(peer.get(), input.data(), input.size()), "write failed");
  shutdown(peer.get(), SHUT_WR);
  return peer;
}

// What recv() must give for one line: a message, an error code, or nothing (a blank line).
struct Expected {
  std::optional<k::Message> message;
  k::Json source;
  int error = 0;
};

std::vector<Expected> expected_from(std::string_view input) {
  std::vector<Expected> out;
  for (std::string_view line : fuzz::complete_lines(input, nullptr)) {
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    Expected e;
    e.source = k::json_parse(line, 0);
    if (!e.source)
      e.error = k::kSockMalformed;
    else if (!(e.message = k::msg_parse(e.source.get())))
      e.error = k::kSockNotJsonRpc;
    out.push_back(std::move(e));
  }
  return out;
}

void read_with_recv(std::string_view input) {
  std::vector<Expected> expected = expected_from(input);
  k::Connection c;
  k::Fd peer = serve(c, input);
  size_t i = 0;
  for (;;) {
    auto got = c.recv();
    int err = c.socket_err();
    if (err == k::kSockClosed) break;
    FUZZ_CHECK(i < expected.size(), "recv gave more than the %zu lines sent (error %d)",
               expected.size(), err);
    const Expected& e = expected[i++];
    if (e.error) {
      FUZZ_CHECK(!got && err == e.error, "line %zu: error %d, not %d", i, err, e.error);
      continue;
    }
    FUZZ_CHECK(got && err == 0, "line %zu: no message (error %d)", i, err);
    fuzz::check_message(*got, e.source.get());
    FUZZ_CHECK(got->kind == e.message->kind && got->method == e.message->method &&
                   fuzz::same_json(got->id, e.message->id),
               "line %zu: recv read another message than the line holds", i);
  }
  FUZZ_CHECK(i == expected.size(), "recv stopped after %zu of %zu lines", i, expected.size());
  FUZZ_CHECK(c.fd() < 0, "the connection stays open after its end");
  FUZZ_CHECK(!c.recv() && c.socket_err() == k::kSockNotConnected, "recv after the end: %d",
             c.socket_err());
}

void read_with_exec(std::string_view input) {
  k::Connection c;
  k::Fd peer = serve(c, input);
  for (int n = 0; n < kMaxRequests && c.fd() >= 0; ++n) {
    // The daemon's end takes the requests sent so far, so that sending never waits.
    char sink[4096];
    while (recv(peer.get(), sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
    k::Message m = k::msg_get_parameter_names("Device.", true);
    int r = c.exec(m);
    if (r == 0) {
      FUZZ_CHECK(m.kind == k::kMsgResult || m.kind == k::kMsgError, "exec ended on kind %d",
                 m.kind);
      FUZZ_CHECK(json_is_integer(m.id.get()) && json_integer_value(m.id.get()) == n + 1,
                 "request %d: the id changed", n + 1);
      FUZZ_CHECK(!m.failed_here, "a reply counts as made here");
      continue;
    }
    FUZZ_CHECK(r == c.socket_err() && m.kind == k::kMsgError && m.failed_here &&
                   m.error_code == r,
               "exec failed with %d but the message holds kind %d, code %d", r, m.kind,
               m.error_code);
    // Only a line that is no message or a stray reply leaves the connection usable.
    if (r != k::kSockMalformed && r != k::kSockNotJsonRpc && r != k::kSockUnknownReply) break;
  }
  for (size_t n = 0; n <= 2 * input.size() + 2 && c.fd() >= 0; ++n) {
    if (auto got = c.recv()) {
      FUZZ_CHECK(got->kind >= k::kMsgRequest && got->kind <= k::kMsgResult, "kind %d",
                 got->kind);
    }
  }
  FUZZ_CHECK(c.fd() < 0, "the connection stays open after its end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  read_with_recv(input);
  read_with_exec(input);
  return 0;
}
