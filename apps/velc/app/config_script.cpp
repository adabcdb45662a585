#include "app/config_script.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

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

StdoutToNull::StdoutToNull() {
  std::fflush(stdout);
  int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) return;
  // Close-on-exec: a command that starts a program (`sh`) must not hand it the real output.
  saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  if (saved_ >= 0 && dup2(null_fd, STDOUT_FILENO) < 0) {
    close(saved_);
    saved_ = -1;
  }
  close(null_fd);
}

StdoutToNull::~StdoutToNull() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
}

void config_script_run(CommandTable table, const std::string& path, Session& session,
                       k::ColourTable& colours, k::EditorSwitches& editor) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  // The commands' output goes to the context's stream; what still writes on descriptor 1 itself
  // (the script's echo lines, Lua's print, the progress bar) is silenced by the guard.
  std::unique_ptr<FILE, int (*)(FILE*)> null_stream(std::fopen("/dev/null", "we"), std::fclose);
  StdoutToNull silenced;
  // The script runs silently or not at all.
  if (!null_stream || !silenced.active()) return;
  k::InterruptScope sigint;
  // The script's own view: the shell makes a fresh one (and starts at its home position).
  CommandRun run(session, colours, editor, null_stream.get());
  Client& client = run.client();
  DataModelView& view = run.view();
  run_script(path, [&](const char* word, json_t* args) {
    // Most configuration lines (`color`, `opt`, `login_if_guest`) need no schema cache; one is
    // fetched, as the shell fetches it at start, only before the first command that works on it.
    const CommandEntry* row = command_find(table, word);
    if (row && row->needs_cache && !view.schema_root) schema_reset(client);
    return command_dispatch(table, client, word, args);
  });
}
