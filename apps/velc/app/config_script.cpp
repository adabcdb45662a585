#include "app/config_script.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/script.h"
#include "datamodel/schema.h"
#include "platform/interrupt.h"

std::optional<std::string> config_script_path(const char* given) {
  if (given) return std::string(given);
  const char* home = std::getenv("HOME");
  if (!home) {
    const passwd* entry = getpwuid(getuid());
    if (!entry || !entry->pw_dir) return std::nullopt;
    home = entry->pw_dir;
  }
  std::string path = std::string(home) + "/.local/velc/config";
  if (path.size() > kConfigPathMax) return std::nullopt;
  return path;
}

namespace {

// The configuration script's output stream: /dev/null, opened once and kept open for the rest of
// the run like standard output, because a thread a command started (netcat's sender) may still
// report on it after the script ended.
FILE* null_output() {
  static FILE* const stream = std::fopen("/dev/null", "we");
  return stream;
}

}  // namespace

void config_script_run(CommandTable table, const std::string& path, Session& session,
                       k::ColourTable& colours, k::EditorSwitches& editor) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  // The commands print on the context's stream, /dev/null here (standard error stays); `sh`
  // gives it to its program as descriptor 1. The script runs silently or not at all.
  FILE* out = null_output();
  if (!out) return;
  k::InterruptScope sigint;
  // The script's own view: the shell makes a fresh one (and starts at its home position).
  CommandRun run(session, colours, editor, out);
  Client& client = run.client();
  DataModelView& view = run.view();
  auto dispatch = [&](const char* word, json_t* args) {
    // Most configuration lines (`color`, `opt`, `login_if_guest`) need no schema cache; one is
    // fetched, as the shell fetches it at start, only before the first command that works on it.
    const CommandEntry* row = command_find(table, word);
    if (row && row->needs_cache && !view.schema_root) schema_reset(client);
    return command_dispatch(table, client, word, args);
  };
  run_script(path, dispatch, out);
}
