#include "shell/shell_loop.h"

#include <cstdio>
#include <optional>
#include <string>

#include "datamodel/navigation.h"
#include "datamodel/schema.h"
#include "link/events.h"
#include "link/login.h"
#include "platform/history.h"
#include "platform/interrupt.h"
#include "platform/line_editor.h"
#include "platform/printable.h"
#include "platform/text.h"
#include "shell/completion.h"
#include "shell/line_loop.h"
#include "shell/line_source.h"
#include "shell/prompt.h"
#include "shell/record.h"
#include "shell/tokenizer.h"

namespace {

void print_banner() {
  std::puts("Norlan Management System client.");
  std::puts(
      "***\nWARNING - for experts only!\nThis tool is not intended to use by users 'cause it can "
      "cause harm to the device!\n***");
  std::puts("Interactive mode. \nEnter 'help' or '?' for help, 'q' for exit.");
}

// One run of the shell: the table it dispatches through, what the commands work on, and where
// its lines come from.
class Shell {
 public:
  // `client.record` is the shell's recording.
  Shell(CommandTable table, Client& client)
      : table_(table), client_(client), record_(*client.record) {
    if (k::LineEditor* editor = input_.editor()) {
      editor->set_completion([this](const std::string& before_cursor) { return complete(before_cursor); });
      editor->set_hints([this](const std::string& line) { return hint(line); });
    }
  }

  // Serves the keyboard and the events connection until the shell ends.
  void run();

 private:
  void show_prompt() {
    const k::ColourTable& colours = client_.colours;
    std::string prompt = prompt_text(client_.session, client_.view.current_path,
                                     record_prompt_tag(record_));
    if (colours.escape) prompt = k::escape_controls(prompt);  // it holds device names
    input_.show(prompt, prompt_colour(client_.session, colours), colours);
  }
  k::Completion complete(const std::string& before_cursor);
  std::optional<std::string> hint(const std::string& line);
  void run_command(const std::string& line, json_t* words, bool recorded);
  bool handle_line(const std::string& line);
  void cancel_line();
  bool receive_events();

  CommandTable table_;
  Client& client_;
  RecordState& record_;
  LineSource input_;
};

// Tab. Completing may fetch a level of the cache; Ctrl-C then gives up the completion only.
k::Completion Shell::complete(const std::string& before_cursor) {
  k::Completion c;
  if (!client_.editor.autocomplete) return c;
  try {
    c.candidates = complete_line(table_, client_, before_cursor, before_cursor.size());
    c.fragment_start = completion_fragment_start(before_cursor, c.candidates);
  } catch (const k::Interrupted&) {
    c.candidates.clear();
  }
  return c;
}

// The hint after each change of the line.
std::optional<std::string> Shell::hint(const std::string& line) {
  if (!client_.editor.hints) return std::nullopt;
  try {
    return hint_line(table_, client_, line);
  } catch (const k::Interrupted&) {
    return std::nullopt;
  }
}

// Runs one command, the typed `line` split into `words`, and adds it to an active recording when
// `recorded`. Ctrl-C abandons it at its next blocking point: the exception unwinds the
// command (its resources are freed on the way) up to here, and the shell goes on. A reply that
// arrives later for an abandoned request is dropped by the connection.
void Shell::run_command(const std::string& line, json_t* words, bool recorded) {
  std::fflush(stdout);
  try {
    k::InterruptScope interrupt;
    // Written before the command runs: its paths are resolved at the position it starts from.
    if (recorded && recording_active(record_))
      record_line(record_, record_shell_line(table_, client_, line));
    k::Json word = k::Json::borrow(json_array_get(words, 0));
    json_array_remove(words, 0);
    command_dispatch(table_, client_, json_string_value(word.get()), words);
  } catch (const k::Interrupted&) {
    // The terminal echoed "^C"; the next prompt starts on a line of its own.
    std::putchar('\n');
  }
  std::fflush(stdout);
}

// Handles a finished line; false when it ends the shell.
bool Shell::handle_line(const std::string& line) {
  if (line.empty()) return true;
  // Never entered in the history. While recording, they end the recording, not the shell.
  if (line == "q" || line == "quit") {
    if (!recording_active(record_)) return false;
    record_finish(record_);
    return true;
  }
  k::Json words = shell_line_words(line);
  // A line typed with a leading blank runs but is not remembered, nor is the line of a command
  // that may carry a secret. A recording takes the lines remembered only, so that its file holds
  // no secret.
  const CommandEntry* command = command_find(table_, json_string_value(json_array_get(words.get(), 0)));
  const bool remembered = !k::is_blank(line[0]) && !(command && command->sensitive);
  if (remembered) k::history_add(line);
  // A line of blanks or a comment only has no command: nothing runs and nothing is printed.
  if (!words || json_array_size(words.get()) == 0) {
    if (remembered) record_line(record_, line);
    return true;
  }
  run_command(line, words.get(), remembered);
  return true;
}

// Ctrl-C while a line is being edited: the line is dropped and a fresh prompt follows.
void Shell::cancel_line() {
  k::g_interrupt_requested = 0;
  input_.cancel();
}

// Prints the messages waiting on the events connection above the line being typed, which is
// then shown again, unchanged. False when the connection was lost.
bool Shell::receive_events() {
  int r = 0;
  auto make_room = [this] { input_.hide(); };
  try {
    // One read can bring several messages; a poll would not show the ones already buffered.
    do {
      r = event_receive(client_.session, client_.view.pending_changes,
                        client_.colours.escape, make_room);
    } while (r >= 0 && client_.session.events.has_buffered_message());
  } catch (const k::Interrupted&) {
    std::fflush(stdout);
    cancel_line();
    return true;
  }
  std::fflush(stdout);
  if (r < 0) return false;
  show_prompt();  // draws the line again only when it was taken off the screen
  return true;
}

void Shell::run() {
  LineLoopHandlers handlers;
  handlers.show_prompt = [this] { show_prompt(); };
  handlers.line = [this](const std::string& line) { return handle_line(line); };
  handlers.events = [this] { return receive_events(); };
  run_line_loop(input_, client_.session, client_.colours, &client_.session.events, handlers);
}

}  // namespace

k::Json shell_line_words(const std::string& line) {
  if (line.compare(0, 4, "lua ") != 0) return tokenize_line(line.c_str());
  k::Json words = k::Json::take(json_array());
  json_array_append_new(words.get(), json_string("lua"));
  if (k::Json rest = k::json_str(std::string_view(line).substr(4)))
    json_array_append(words.get(), rest.get());
  return words;
}

int shell_loop(CommandTable table, Session& session, k::ColourTable& colours,
               k::EditorSwitches& editor, bool login_local_user) {
  print_banner();
  std::fflush(stdout);
  // Ctrl-C never ends the shell, not even while it starts: an interrupted login is given up, an
  // interrupted first fetch leaves the root to be fetched when first used.
  k::InterruptScope sigint;
  // Lives as long as the shell: Ctrl-D or a lost connection while recording writes nothing.
  RecordState record;
  CommandRun run(session, colours, editor, stdout, &record);
  Client& client = run.client();
  DataModelView& view = run.view();
  // Logged in before the first fetch, so that the cache is the user's from the start.
  try {
    if (login_local_user) try_login(session);
  } catch (const k::Interrupted&) {
    std::putchar('\n');
  }
  try {
    if (!schema_reset(client)) {
      std::puts("Error connecting to VELD server");
      return -1;
    }
  } catch (const k::Interrupted&) {
    std::putchar('\n');
  }
  // Loaded from its file at the start, written back however the shell ends.
  k::HistoryFile history(shell_history_path());
  cdpath_clear(view.current_path, view.schema_root);
  {
    k::Json none = k::Json::take(json_array());
    cmd_cd(client, "cd", none.get());
  }
  Shell(table, client).run();
  return 0;
}
