#include "shell/shell_loop.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "datamodel/cdpath.h"
#include "datamodel/schema.h"
#include "entry/events.h"
#include "entry/exchange.h"
#include "platform/history.h"
#include "platform/interrupt.h"
#include "platform/json.h"
#include "platform/line_editor.h"
#include "shell/command_handlers.h"
#include "shell/command_table.h"
#include "shell/prompt.h"
#include "shell/tokenizer.h"

namespace {

void print_banner() {
  std::puts("Norlan Management System client.");
  std::puts(
      "***\nWARNING - for experts only!\nThis tool is not intended to use by users 'cause it can "
      "cause harm to the device!\n***");
  std::puts("Interactive mode. \nEnter 'help' or '?' for help, 'q' for exit.");
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// What the shell holds while it runs, given back on every way out: the schema cache and the
// node paths, the line editor's settings, and the history (written to its file).
struct ShellSession {
  ShellSession() { line_editor_setup(); }
  ~ShellSession() {
    schema_root = k::Json();
    cdpath_free(current_path);
    cdpath_free(previous_path);
    line_editor_teardown();
    k::history_clear();
  }
  ShellSession(const ShellSession&) = delete;
  ShellSession& operator=(const ShellSession&) = delete;
};

// Runs one command. Ctrl-C abandons it at its next blocking point: the exception unwinds the
// command (its resources are freed on the way) up to here, and the shell goes on. A reply that
// arrives later for an abandoned request is dropped by the connection.
void run_command(json_t* words) {
  k::Json word = k::Json::borrow(json_array_get(words, 0));
  json_array_remove(words, 0);
  std::fflush(stdout);
  // The session recording counts the dispatched line here (record_count_line) once recording
  // is part of the shell.
  try {
    k::InterruptScope interrupt;
    command_dispatch(json_string_value(word.get()), words);
  } catch (const k::Interrupted&) {
    // The terminal echoed "^C"; the next prompt starts on a line of its own.
    std::putchar('\n');
  }
  std::fflush(stdout);
}

// Handles a finished line; false when it ends the shell.
bool handle_line(const std::string& line) {
  if (line.empty()) return true;
  if (line == "q" || line == "quit") {
    // With a session recording active, "q" finishes the recording (record_finish) and the shell
    // goes on; recording is not part of the shell yet. These words never enter the history.
    return false;
  }
  k::Json words = shell_line_words(line);
  // A line typed with a leading blank runs but is not remembered.
  if (!is_blank(line[0])) k::history_add(line);
  // A line of blanks or a comment only has no command: nothing runs and nothing is printed.
  if (!words || json_array_size(words.get()) == 0) return true;
  run_command(words.get());
  return true;
}

// Ctrl-C while a line is being edited: the line is dropped and a fresh prompt follows.
void cancel_line(k::LineEditor& editor) {
  k::g_interrupt_requested = 0;
  editor.clear();
  std::puts("^C");
  std::fflush(stdout);
}

// Prints the messages waiting on the events connection above the line being typed, which is
// then shown again, unchanged. False when the connection was lost.
bool receive_events(k::LineEditor& editor) {
  int r = 0;
  auto make_room = [&editor] { editor.restore(); };
  try {
    // One read can bring several messages; a poll would not show the ones already buffered.
    do {
      r = event_receive(make_room);
    } while (r >= 0 && events_handle().has_buffered_message());
  } catch (const k::Interrupted&) {
    std::fflush(stdout);
    cancel_line(editor);
    return true;
  }
  std::fflush(stdout);
  if (r < 0) return false;
  editor.prepare(prompt_text());  // redraws only when the line was moved away
  return true;
}

// Readable, or at an end that a read reports (so a closed input ends the shell, not a busy loop).
bool readable(const pollfd& p) { return p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL); }

}  // namespace

k::Json shell_line_words(const std::string& line) {
  if (line.compare(0, 4, "lua ") != 0) return tokenize_line(line.c_str());
  k::Json words = k::Json::take(json_array());
  json_array_append_new(words.get(), json_string("lua"));
  if (k::Json rest = k::json_str(std::string_view(line).substr(4)))
    json_array_append(words.get(), rest.get());
  return words;
}

int shell_loop() {
  print_banner();
  // The automatic login as the local system user (try_login) goes here, when --auth gave no
  // login.
  std::fflush(stdout);
  if (!schema_reset()) {
    std::puts("Error connecting to VELD server");
    return -1;
  }
  ShellSession session;
  cdpath_free(current_path);
  cdpath_new(current_path);
  {
    k::Json none = k::Json::take(json_array());
    cmd_cd("cd", none.get());
  }

  k::LineEditor editor;
  // Ctrl-C never ends the shell: at the prompt it drops the line, in a command it abandons the
  // command (run_command installs its own scope).
  k::InterruptScope sigint;
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {events_handle().fd(), POLLIN, 0}};

  while (running_flag) {
    if (!editor.editing()) editor.prepare(prompt_text());
    if (k::g_interrupt_requested) {
      cancel_line(editor);
      continue;
    }
    fds[0].revents = fds[1].revents = 0;
    bool events_buffered = events_handle().has_buffered_message();
    int n = events_buffered ? 0 : ::poll(fds, 2, -1);
    editor.handle_resize();
    if (k::g_interrupt_requested) {
      cancel_line(editor);
      continue;
    }
    if (n < 0) {
      if (errno == EINTR) continue;  // a window change
      std::printf("Error poll(): %s\n", std::strerror(errno));
      break;
    }
    if (events_buffered || readable(fds[1])) {
      if (!receive_events(editor)) break;
    }
    if (!readable(fds[0])) continue;

    std::optional<std::string> line = editor.feed(k::line_editor_getch());
    if (editor.ctrl_d_pressed()) {
      std::putchar('\n');  // the terminal's own prompt starts on a fresh line
      break;
    }
    if (!line) continue;
    if (!handle_line(*line)) break;
  }
  std::fflush(stdout);
  return 0;
}
