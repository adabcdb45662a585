// Fuzzes the emulator's handling of request lines against the default home-router model, through
// its whole server path: the input is what one client sends on the emulator's socket; the
// server reads it in its poll loop (framing, parsing, checking the message, dispatching to the
// engine, encoding the reply or listing) and answers until the client stops sending. Each input
// gets a fresh engine on the model, so an input replays alike however many ran before it.
//
// Properties checked, over the complete lines of the input:
// - the server answers every line that asks for an answer, in order, and no other, as
//   docs/protocol.md ("Daemon behaviour in detail") says: a line that is not JSON, not a request
//   object, or malformed gets an error with the usable id (or null); a request with an "id"
//   member gets its reply; notifications, blank lines and replies sent by the client get none;
// - every line sent back is JSON on one line that reads as a JSON-RPC reply (with the
//   request's id) or event; an error carries a non-zero code and a message.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "check.h"
#include "daemon/server.h"
#include "engine/engine.h"
#include "model/model_load.h"
#include "platform/jrpc_message.h"
#include "testing/temp_dir.h"

namespace {

// The ids that the server must answer the lines of the input with, in order; JSON null stands
// for an answer without a usable id.
std::vector<k::Json> expected_answers(std::string_view input) {
  std::vector<k::Json> ids;
  k::Json null = k::Json::take(json_null());
  for (std::string_view line : fuzz::complete_lines(input, nullptr)) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    k::Json msg = k::json_parse(line);
    json_t* raw_id = json_object_get(msg.get(), "id");
    bool usable = json_is_integer(raw_id) || json_is_string(raw_id);
    k::Json id = usable ? k::Json::borrow(raw_id) : null;
    json_t* version = json_object_get(msg.get(), "jsonrpc");
    json_t* method = json_object_get(msg.get(), "method");
    json_t* params = json_object_get(msg.get(), "params");
    bool answered;
    if (!json_is_object(msg.get()) || !json_is_string(version) ||
        std::string_view(json_string_value(version)) != "2.0" ||
        (raw_id && !usable && !json_is_null(raw_id)))
      answered = true;  // not a request object
    else if (!method)  // a reply sent by the client is dropped, whatever its id
      answered = !json_object_get(msg.get(), "result") && !json_object_get(msg.get(), "error");
    else if (!json_is_string(method) || (params && !json_is_object(params) && !json_is_array(params)))
      answered = true;  // a malformed request
    else
      answered = raw_id != nullptr;  // a request is answered, a notification is not
    if (answered) ids.push_back(id);
  }
  return ids;
}

struct Fixture {
  k::test::TempDir dir;
  std::string socket_path = dir.file("veld.sock");
  k::Json model;

  Fixture() {
    std::ifstream in(VELD_SIM_DEFAULT_MODEL);
    std::stringstream text;
    text << in.rdbuf();
    model = k::json_parse(text.str(), 0);
    FUZZ_CHECK(bool(model), "cannot read %s", VELD_SIM_DEFAULT_MODEL);
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture;  // lives as long as the process
  return *f;
}

// Runs a server on a fresh engine, sends it `input` as one client and gives back all it sent
// until it closed the connection.
std::string exchange(std::string_view input) {
  Fixture& f = fixture();
  std::string error;
  auto root = sim::load_model(f.model.get(), error);
  FUZZ_CHECK(bool(root), "the model does not load: %s", error.c_str());
  sim::Engine engine(std::move(root));
  sim::Server server(engine, {.socket_path = f.socket_path});
  FUZZ_CHECK(server.listen(error), "%s", error.c_str());

  int stop[2];
  FUZZ_CHECK(pipe2(stop, O_CLOEXEC) == 0, "pipe2 failed");
  std::thread loop([&] { server.run(stop[0]); });

  int err = 0;
  k::Fd client = k::unix_connect(f.socket_path, err);
  FUZZ_CHECK(bool(client), "connect failed: %d", err);
  FUZZ_CHECK(k::write_all(client.get(), input.data(), input.size()), "write failed");
  shutdown(client.get(), SHUT_WR);
  std::string output;
  char buf[65536];
  for (ssize_t n; (n = read(client.get(), buf, sizeof buf)) != 0;) {
    FUZZ_CHECK(n > 0 || errno == EINTR, "read failed");
    if (n > 0) output.append(buf, size_t(n));
  }

  FUZZ_CHECK(write(stop[1], "x", 1) == 1, "cannot stop the server");
  loop.join();
  close(stop[0]);
  close(stop[1]);
  return output;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<k::Json> ids = expected_answers(input);
  std::string output = exchange(input);

  std::string_view rest;
  auto lines = fuzz::complete_lines(output, &rest);
  FUZZ_CHECK(rest.empty(), "the output ends inside a line: %.*s", int(rest.size()), rest.data());
  size_t replies = 0;
  for (std::string_view line : lines) {
    k::Json j = k::json_parse(line, 0);
    FUZZ_CHECK(bool(j), "a line sent is not JSON: %.*s", int(line.size()), line.data());
    auto m = k::msg_parse(j.get());
    FUZZ_CHECK(m, "a line sent is no message: %.*s", int(line.size()), line.data());
    if (m->kind == k::kMsgEvent) continue;
    FUZZ_CHECK(m->kind == k::kMsgResult || m->kind == k::kMsgError,
               "a line sent is neither reply nor event: %.*s", int(line.size()), line.data());
    FUZZ_CHECK(replies < ids.size(), "more replies than the %zu lines asking for one",
               ids.size());
    json_t* want = ids[replies++].get();
    json_t* got = json_object_get(j.get(), "id");
    FUZZ_CHECK(json_equal(got, want), "reply %zu has the id %s, not %s", replies,
               k::json_dump(got, JSON_ENCODE_ANY).c_str(),
               k::json_dump(want, JSON_ENCODE_ANY).c_str());
    if (m->kind == k::kMsgError)
      FUZZ_CHECK(m->error_code != 0 && m->error_message && !m->error_message->empty(),
                 "an error without code or message: %.*s", int(line.size()), line.data());
  }
  FUZZ_CHECK(replies == ids.size(), "%zu replies for %zu lines asking for one", replies,
             ids.size());
  return 0;
}
