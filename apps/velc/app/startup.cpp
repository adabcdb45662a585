#include "app/startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "app/cline.h"
#include "app/command_rows.h"
#include "app/config_script.h"
#include "app/modes.h"
#include "app/startup_login.h"
#include "shell/client.h"
#include "link/session.h"
#include "lua/lua_script.h"
#include "platform/interrupt.h"
#include "platform/tcp.h"
#include "shell/shell_loop.h"

namespace {

constexpr int kEventsTimeoutMs = 100;
constexpr int kJoinTimeoutMs = 1000;

// Connects a handle that is not connected yet and reports a failure in the client's words, then
// on standard error where it tried to connect.
bool connect_checked(k::Connection& handle, const char* which, bool default_destination) {
  if (handle.fd() == -1) handle.connect();
  int e = handle.socket_err();
  if (e == 0) return true;
  std::printf("Cannot connect to veld(%s) - %s(%d)\n", which, handle.error_text().c_str(), e);
  std::fflush(stdout);
  const std::string& to = handle.destination();
  bool tcp = k::is_tcp_destination(to);
  std::fprintf(stderr, "velc: tried %s %s%s%s\n", tcp ? "TCP" : "unix socket",
               tcp ? to.c_str() + std::strlen("tcp:") : to.c_str(),
               handle.flags() & k::kFlagSsl ? " with TLS" : "",
               default_destination ? " (the default; -u names another)" : "");
  return false;
}

// Joins an event group on a connection (time-out 1000 ms, which stays set). The exec result.
int join_group(k::Connection& handle, unsigned group) {
  k::Message m = k::msg_join_group(group);
  handle.set_timeout(kJoinTimeoutMs);
  return handle.exec(m);
}

// Runs the user's configuration script, if there is one, before the mode. Ctrl-C ends the
// script; the interactive shell then starts all the same (Ctrl-C never ends it, not even before
// it starts), every other mode ends as Ctrl-C ends it there.
void run_configuration(const Options& options, Session& session, k::ColourTable& colours,
                       k::EditorSwitches& editor) {
  std::optional<std::string> path = config_script_path(options.config_path);
  if (!path) return;
  try {
    config_script_run(velc_commands(), *path, session, colours, editor);
  } catch (const k::Interrupted&) {
    if (options.mode != kModeInteractive) throw;
    std::putchar('\n');  // after the terminal's "^C"
  }
}

// Runs the mode the command line chose; its status.
int run_mode(const Options& options, Session& session, k::ColourTable& colours,
             k::EditorSwitches& editor) {
  switch (options.mode) {
    case kModeInteractive:
      // The local user logs in by themselves unless --auth chose who.
      return shell_loop(velc_commands(), session, colours, editor, options.login.empty());
    case kModeRaw:
      return raw_mode(session, options,
                      options.timeout != 0 ? options.timeout * 1000 : k::kDefaultTimeoutMs);
    case kModeListen:
      return listen_mode(session, colours.escape);
    case kModeRequest: {
      CommandRun run(session, colours, editor);  // no schema cache: paths go to veld as typed
      return request_dispatch(velc_commands(), run.client(), options.mode_name,
                              options.parameters.get());
    }
    case kModeNotify:
      std::printf("Unsupported :(\n");
      return 0;
    case kModeEvent:
      return event_mode(session, options);
    case kModeScript:
      return script_mode(session, options, colours, editor);
    case kModeScriptLua: {
      // Ctrl-C stops the script; the run then ends with 130, as a command script's does.
      k::InterruptScope sigint;
      std::optional<std::string> path;
      if (options.script_path) path = options.script_path;
      return run_lua_script(path, options.parameters.get(), &session.requests, session.strict);
    }
  }
  return -1;  // no other mode exists
}

}  // namespace

int velc_main(int argc, char** argv) {
  // The stream's buffering follows the terminal velc starts on: decided now, before anything is
  // written, and not by /dev/null, where the configuration script's first output goes.
  std::setvbuf(stdout, nullptr, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ);
  Options options;
  options.parameters = k::Json::take(json_array());
  int r = cline_parse(argc, argv, options);
  if (r != 0) return r == 1 ? 0 : 1;

  Session session;
  k::Connection& requests = session.requests;
  k::Connection& events = session.events;
  for (k::Connection* h : {&requests, &events}) {
    if (options.ssl) h->set_flags(h->flags() | k::kFlagSsl);
    if (options.unix_path) h->set_destination(options.unix_path);
  }
  requests.set_timeout(k::kDefaultTimeoutMs);
  events.set_timeout(kEventsTimeoutMs);
  {
    // Ctrl-C never ends the shell, not even before it starts: a line typed ahead and abandoned
    // meanwhile must not cost the session (and its history).
    std::optional<k::InterruptIgnored> starting;
    if (options.mode == kModeInteractive) starting.emplace();
    bool default_destination = options.unix_path == nullptr;
    if (!connect_checked(requests, "requests", default_destination) ||
        !connect_checked(events, "events", default_destination))
      return 1;
    // A failed --auth ends the run: a script must not go on as somebody else.
    if (!options.login.empty() && startup_login(session, options) != 0) return 1;
    // The events connection takes the flags as the login left them.
    events.set_flags(requests.flags() | k::kFlagReceiver);
    join_group(events, k::kChangeEventGroup);
    for (uint32_t i = 0; i < options.group_count; ++i) join_group(requests, options.groups[i]);
  }

  // Decided on the real standard output, before the configuration script silences it; the
  // script's `color` and `opt` change these, and the shell takes them over.
  k::ColourTable colours;
  colours.enabled = k::stdout_wants_colours();
  colours.escape = isatty(STDOUT_FILENO);
  k::EditorSwitches editor;
  // --strict holds for the configuration script too, and no `opt strict off` there undoes it.
  session.strict = options.strict;
  run_configuration(options, session, colours, editor);
  if (options.strict) session.strict = true;
  int status = run_mode(options, session, colours, editor);
  std::fflush(stdout);
  return status;
}
