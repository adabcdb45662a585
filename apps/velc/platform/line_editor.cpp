#include "platform/line_editor.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <readline/readline.h>

#include "platform/json.h"

namespace k {

namespace {

constexpr int kNoPendingChar = -2;

LineEditor* g_active = nullptr;        // the editor whose line readline is editing
int g_pending_char = kNoPendingChar;   // the character being fed to readline
volatile sig_atomic_t g_window_resized = 0;

HsvColour g_prompt_colour{220, 78, 100};
HsvColour g_hint_colour{120, 100, 55};
HsvColour g_autocomplete_colour{50, 100, 55};
CompleteCallback g_complete_cb = nullptr;
HintCallback g_hint_cb = nullptr;

std::string g_plain_prompt;  // the prompt without colour sequences, for measuring the line
bool g_hint_shown = false;   // a hint stands after the cursor on the screen

// Readline takes its characters from here: the one being fed, or (when it wants more within
// one call, as for a pasted sequence) straight from standard input.
int getc_from_feed(FILE*) {
  if (g_pending_char != kNoPendingChar) {
    int c = g_pending_char;
    g_pending_char = kNoPendingChar;
    return c;
  }
  return line_editor_getch();
}

// Erases the hint: the cursor stands where the hint begins, at the end of the line.
void erase_hint() {
  if (!g_hint_shown) return;
  std::fputs("\033[K", rl_outstream);
  std::fflush(rl_outstream);
  g_hint_shown = false;
}

// Draws the hint after the cursor when it stands at the end of the line, cut to fit the
// terminal's row, and puts the cursor back.
void draw_hint() {
  if (!g_hint_cb || rl_point != rl_end || rl_end == 0) return;
  std::string hint = g_hint_cb(rl_line_buffer);
  if (hint.empty()) return;
  int rows = 0, cols = 0;
  rl_get_screen_size(&rows, &cols);
  if (cols <= 0) return;
  size_t column = (g_plain_prompt.size() + static_cast<size_t>(rl_end)) % static_cast<size_t>(cols);
  size_t room = static_cast<size_t>(cols) - column - 1;
  if (room == 0) return;
  if (hint.size() > room) hint.resize(room);
  if (colors_enabled()) std::fputs(hsv_sequence(g_hint_colour).c_str(), rl_outstream);
  std::fputs(hint.c_str(), rl_outstream);
  if (colors_enabled()) std::fputs("\033[0m", rl_outstream);
  std::fprintf(rl_outstream, "\033[%zuD", hint.size());
  std::fflush(rl_outstream);
  g_hint_shown = true;
}

// Readline's display with the hint drawn after it.
void redisplay_with_hint() {
  erase_hint();
  rl_redisplay();
  draw_hint();
}

// The candidates of the last completion, handed out one by one to readline.
Json g_candidates;
size_t g_candidate_next = 0;

char* next_candidate(const char*, int state) {
  if (state == 0) g_candidate_next = 0;
  json_t* c = json_array_get(g_candidates.get(), g_candidate_next++);
  return c ? strdup(json_string_value(c)) : nullptr;
}

// Tab: the candidates come from the completion callback, never from readline's file names.
char** complete_with_callback(const char* text, int, int) {
  rl_attempted_completion_over = 1;
  if (!g_complete_cb) return nullptr;
  g_candidates = Json::take(json_array());
  g_complete_cb(rl_line_buffer, rl_point, g_candidates.get());
  // Keep only strings, so that every element hands out a text.
  for (size_t i = json_array_size(g_candidates.get()); i-- > 0;)
    if (!json_is_string(json_array_get(g_candidates.get(), i)))
      json_array_remove(g_candidates.get(), i);
  size_t n = json_array_size(g_candidates.get());
  if (n == 0) {
    g_candidates = Json();
    return nullptr;
  }
  // Objects (".") and folders ("/") go on with their children: no blank after them.
  const char* only = json_string_value(json_array_get(g_candidates.get(), 0));
  size_t len = std::strlen(only);
  rl_completion_suppress_append =
      n == 1 && len > 0 && (only[len - 1] == '.' || only[len - 1] == '/' || only[len - 1] == '=');
  char** matches = rl_completion_matches(text, next_candidate);
  g_candidates = Json();
  return matches;
}

// The list of candidates, in the autocomplete colour.
void display_candidates(char** matches, int count, int max_length) {
  erase_hint();
  rl_crlf();
  if (colors_enabled()) std::fputs(hsv_sequence(g_autocomplete_colour).c_str(), rl_outstream);
  rl_display_match_list(matches, count, max_length);
  if (colors_enabled()) std::fputs("\033[0m", rl_outstream);
  rl_forced_update_display();
}

void on_window_change(int) { g_window_resized = 1; }

// Settings readline keeps for the whole run; made once, before the first line.
void setup_readline_once() {
  static bool done = false;
  if (done) return;
  done = true;
  rl_readline_name = "velc";
  rl_catch_signals = 0;   // SIGINT is ours: see the shell loop
  rl_catch_sigwinch = 0;  // so is SIGWINCH: LineEditor::handle_resize
  rl_getc_function = getc_from_feed;
  rl_redisplay_function = redisplay_with_hint;
  rl_attempted_completion_function = complete_with_callback;
  rl_completion_display_matches_hook = display_candidates;
  rl_sort_completion_matches = 0;  // the completer's order is the order shown
  // A candidate replaces the part of the word after the last of these.
  static char word_breaks[] = " \t\n\"'.=/";
  rl_completer_word_break_characters = word_breaks;
  // Several pasted lines run one after another, as if typed, instead of becoming one line.
  rl_variable_bind("enable-bracketed-paste", "off");
}

}  // namespace

// Called by readline when a line is finished (none at the end of input).
void on_line_finished(char* line) {
  if (g_active) g_active->finish(line);
  std::free(line);
}

LineEditor::LineEditor() {
  setup_readline_once();
  struct sigaction sa {};
  sa.sa_handler = on_window_change;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &sa, &old_winch_);
}

LineEditor::~LineEditor() {
  if (installed_) {
    erase_hint();
    rl_free_line_state();
    uninstall();
  }
  sigaction(SIGWINCH, &old_winch_, nullptr);
}

void LineEditor::prepare(const std::string& prompt) {
  g_plain_prompt = prompt;
  std::string shown = line_editor_prompt(prompt);
  if (installed_) {
    if (!hidden_) return;
    hidden_ = false;
    rl_set_prompt(shown.c_str());
    rl_forced_update_display();
    return;
  }
  finished_.reset();
  ctrl_d_ = false;
  g_hint_shown = false;
  g_active = this;
  installed_ = true;
  hidden_ = false;
  rl_callback_handler_install(shown.c_str(), on_line_finished);
}

std::optional<std::string> LineEditor::feed(int ch) {
  if (!installed_) return std::nullopt;
  if (hidden_) prepare(g_plain_prompt);
  // The hint must not stay on the screen after the accepted line.
  if (ch == '\n' || ch == '\r' || ch < 0) erase_hint();
  g_pending_char = ch < 0 ? EOF : ch;
  rl_callback_read_char();
  g_pending_char = kNoPendingChar;
  return std::exchange(finished_, std::nullopt);
}

void LineEditor::finish(char* line) {
  if (line)
    finished_ = std::string(line);
  else
    ctrl_d_ = true;
  // Removing the handler stops readline from starting the next line on its own; the terminal
  // is back in its normal mode for the command's output.
  uninstall();
}

void LineEditor::uninstall() {
  rl_callback_handler_remove();
  installed_ = false;
  hidden_ = false;
  g_hint_shown = false;
  if (g_active == this) g_active = nullptr;
}

void LineEditor::restore() {
  if (!installed_ || hidden_) return;
  erase_hint();
  rl_clear_visible_line();
  std::fflush(rl_outstream);
  hidden_ = true;
}

void LineEditor::clear() {
  if (!installed_) return;
  if (!hidden_) {
    // Leave the abandoned line whole on the screen, with the cursor after it.
    erase_hint();
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

void line_editor_set_colors(const HsvColour& prompt, const HsvColour& hint,
                            const HsvColour& autocomplete) {
  g_prompt_colour = prompt;
  g_hint_colour = hint;
  g_autocomplete_colour = autocomplete;
}

void line_editor_set_autocomplete_cb(CompleteCallback cb) { g_complete_cb = cb; }

void line_editor_set_hint_cb(HintCallback cb) { g_hint_cb = cb; }

void line_editor_case_insensitive(bool on) {
  rl_variable_bind("completion-ignore-case", on ? "on" : "off");
}

std::string line_editor_prompt(const std::string& prompt) {
  if (!colors_enabled()) return prompt;
  return "\001" + hsv_sequence(g_prompt_colour) + "\002" + prompt + "\001\033[0m\002";
}

}  // namespace k
