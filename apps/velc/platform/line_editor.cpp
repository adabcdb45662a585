#include "platform/line_editor.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <readline/readline.h>

namespace k {

int getc_from_feed(FILE*);
void on_line_finished(char* line);

namespace {

constexpr int kNoPendingChar = -2;

// readline's callbacks take no argument of ours: they reach the editor whose line readline is
// editing through this pointer, set by show() and cleared when the line ends.
LineEditor* g_active = nullptr;
// Raised by the SIGWINCH handler; handle_resize() follows it.
volatile sig_atomic_t g_window_resized = 0;

// Tab: the shell offers no completion, and readline must not offer file names instead.
char** complete_nothing(const char*, int, int) {
  rl_attempted_completion_over = 1;
  return nullptr;
}

void on_window_change(int) { g_window_resized = 1; }

// Settings readline keeps for the whole run (setting them again is harmless).
void setup_readline() {
  rl_readline_name = "velc";
  rl_catch_signals = 0;   // SIGINT is ours: see the shell loop
  rl_catch_sigwinch = 0;  // so is SIGWINCH: LineEditor::handle_resize
  rl_getc_function = getc_from_feed;
  rl_attempted_completion_function = complete_nothing;
  // Several pasted lines run one after another, as if typed, instead of becoming one line.
  rl_variable_bind("enable-bracketed-paste", "off");
}

}  // namespace

// Readline takes its characters from here: the one being fed, or (when it wants more within
// one call, as for a pasted sequence) straight from standard input.
int getc_from_feed(FILE*) {
  if (g_active && g_active->pending_char_ != kNoPendingChar)
    return std::exchange(g_active->pending_char_, kNoPendingChar);
  return line_editor_getch();
}

// Called by readline when a line is finished (none at the end of input).
void on_line_finished(char* line) {
  if (g_active) g_active->finish(line);
  std::free(line);
}

LineEditor::LineEditor() : pending_char_(kNoPendingChar) {
  setup_readline();
  struct sigaction sa {};
  sa.sa_handler = on_window_change;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &sa, &old_winch_);
}

LineEditor::~LineEditor() {
  if (installed_) {
    if (hidden_) {
      // The line is off the screen (the shell ends after printing something, such as a lost
      // connection): readline must not draw it, or move the cursor to it, while it lets go.
      rl_set_prompt("");
      rl_replace_line("", 1);
    }
    rl_free_line_state();
    uninstall();
  }
  sigaction(SIGWINCH, &old_winch_, nullptr);
}

void LineEditor::show(const std::string& prompt, const HsvColour& colour, bool colours) {
  prompt_ = line_editor_prompt(prompt, colour, colours);
  if (installed_) {
    if (!hidden_) return;
    hidden_ = false;
    rl_set_prompt(prompt_.c_str());
    rl_forced_update_display();
    return;
  }
  finished_.reset();
  input_ended_ = false;
  g_active = this;
  installed_ = true;
  hidden_ = false;
  rl_callback_handler_install(prompt_.c_str(), on_line_finished);
}

std::optional<std::string> LineEditor::feed(int ch) {
  if (!installed_) return std::nullopt;
  if (hidden_) {
    hidden_ = false;
    rl_forced_update_display();
  }
  pending_char_ = ch < 0 ? EOF : ch;
  rl_callback_read_char();
  pending_char_ = kNoPendingChar;
  return std::exchange(finished_, std::nullopt);
}

void LineEditor::finish(char* line) {
  if (line)
    finished_ = std::string(line);
  else
    input_ended_ = true;
  // Removing the handler stops readline from starting the next line on its own; the terminal
  // is back in its normal mode for the command's output.
  uninstall();
}

void LineEditor::uninstall() {
  rl_callback_handler_remove();
  installed_ = false;
  hidden_ = false;
  if (g_active == this) g_active = nullptr;
}

void LineEditor::hide() {
  if (!installed_ || hidden_) return;
  rl_clear_visible_line();
  std::fflush(rl_outstream);
  hidden_ = true;
}

void LineEditor::clear() {
  if (!installed_) return;
  if (!hidden_) {
    // Leave the abandoned line whole on the screen, with the cursor after it.
    rl_point = rl_end;
    rl_redisplay();
  }
  rl_callback_sigcleanup();
  rl_free_line_state();
  uninstall();
}

void LineEditor::handle_resize() {
  if (!g_window_resized) return;
  g_window_resized = 0;
  if (installed_ && !hidden_)
    rl_resize_terminal();
  else
    rl_reset_screen_size();
}

int line_editor_getch() {
  unsigned char c;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

std::string line_editor_prompt(const std::string& prompt, const HsvColour& colour, bool colours) {
  if (!colours) return prompt;
  return "\001" + hsv_sequence(colour) + "\002" + prompt + "\001\033[0m\002";
}

}  // namespace k
