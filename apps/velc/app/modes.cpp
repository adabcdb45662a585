#include "app/modes.h"

#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "app/command_rows.h"
#include "app/script.h"
#include "link/events.h"
#include "link/exchange.h"
#include "link/login.h"
#include "platform/interrupt.h"

int raw_mode(Session& session, const Options& options, int timeout_ms) {
  json_t* text = json_array_get(options.parameters.get(), 0);
  k::Json j = json_is_string(text) ? k::json_parse(json_string_value(text), 0) : k::Json();
  if (!j) {
    std::printf("Invalid raw JSON message.\n");
    return -1;
  }
  auto m = k::msg_parse(j.get());
  if (!m) {
    std::printf("Incorrect message.\n");
    return -1;
  }
  if (m->kind != k::kMsgRequest) return session.requests.send(*m);
  // A result is printed straight from the reply's text (a reply of many megabytes is never made
  // into Jansson values); anything else, a failure included, from the message.
  k::LargeReply large;
  request_exchange(session, *m, timeout_ms, large);
  std::fputs("<< ", stdout);
  if (m->kind == k::kMsgResult && !m->result)
    large.write_message(stdout);
  else
    json_dumpf(m->to_json().get(), stdout, JSON_INDENT(4));
  std::fputs("\n", stdout);
  return m->error_code;
}

int event_mode(Session& session, const Options& options) {
  json_t* text = json_array_get(options.parameters.get(), 0);
  k::Json data = json_is_string(text) ? k::json_parse(json_string_value(text)) : k::Json();
  return session.events.send(k::msg_create_event(options.mode_id, data));
}

namespace {

// Raised by the SIGTERM handler of listen mode.
volatile sig_atomic_t g_terminate = 0;

void on_sigterm(int) { g_terminate = 1; }

void install(int signal, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sigaction(signal, &sa, nullptr);
}

}  // namespace

int listen_mode(Session& session, bool escape) {
  // Ctrl-C ends listening as it ends every other mode: the run ends with 130 (see main).
  k::InterruptScope sigint;
  install(SIGTERM, on_sigterm);
  int fd = session.events.fd();
  // Data-model change events are not shown here; nothing applies them, so each is dropped.
  ChangeQueue changes;
  while (session.running && !g_terminate) {
    if (!session.events.has_buffered_message()) {
      pollfd p{fd, POLLIN, 0};
      int r = k::poll_unless_interrupted(&p, 1);
      k::interrupt_check();
      if (r < 0) {
        if (errno == EINTR) continue;
        break;
      }
    }
    // A loss of the connection clears the running flag and prints "Connection dropped".
    event_receive(session, changes, escape);
    changes.take();
  }
  return 0;
}

int script_mode(Session& session, const Options& options, k::ColourTable& colours,
                k::EditorSwitches& editor) {
  // Ctrl-C stops the script at its next line or blocking point, the login before it too.
  k::InterruptScope sigint;
  if (options.login.empty()) try_login(session);
  std::optional<std::string> path;
  if (options.script_path)
    path = options.script_path;
  else if (const char* first = k::json_array_text(options.parameters.get(), 0))
    path = first;
  CommandRun run(session, colours, editor);  // without a schema cache, as in request mode
  Client& client = run.client();
  CommandTable table = velc_commands();
  return run_script(
      path,
      [&](const char* word, json_t* args) { return request_dispatch(table, client, word, args); },
      client.out);
}
