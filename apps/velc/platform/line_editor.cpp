#include "platform/line_editor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <readline/readline.h>

#include "platform/interrupt.h"

namespace k {

int getc_from_feed(FILE*);
void on_line_finished(char* line);
int on_complete_key(int, int);
int on_accept_key(int, int);
void redisplay_with_hint();

namespace {

constexpr int kNoPendingChar = -2;

// readline's callbacks take no argument of ours: they reach the editor whose line readline is
// editing through this pointer, set by show() and cleared when the line ends.
LineEditor* g_active = nullptr;
// Raised by the SIGWINCH handler; handle_resize() follows it.
volatile sig_atomic_t g_window_resized = 0;

// readline's own completion never runs (Tab is bound to ours), and must not offer file names.
char** complete_nothing(const char*, int, int) {
  rl_attempted_completion_over = 1;
  return nullptr;
}

// True for text that takes one column per byte: hints are drawn only over such text, where the
// cursor's column can be counted.
bool plain_ascii(const char* text, size_t n) {
  return std::all_of(text, text + n, [](char c) { return c >= 0x20 && c < 0x7f; });
}

// Columns of a prompt as handed to readline: the bytes outside its \001...\002 sequences; -1
// when it holds anything but plain ASCII there.
int prompt_columns(const std::string& prompt) {
  int n = 0;
  bool hidden = false;
  for (char c : prompt) {
    if (c == '\001' || c == '\002') {
      hidden = c == '\001';
    } else if (!hidden) {
      if (!plain_ascii(&c, 1)) return -1;
      ++n;
    }
  }
  return n;
}

// The common beginning of the candidates, compared without regard to case, as the first one
// spells it.
std::string common_beginning(const std::vector<std::string>& candidates) {
  std::string common = candidates.front();
  for (const std::string& c : candidates) {
    size_t n = 0;
    while (n < common.size() && n < c.size() && std::tolower(static_cast<unsigned char>(common[n])) ==
                                                    std::tolower(static_cast<unsigned char>(c[n])))
      ++n;
    common.resize(n);
  }
  return common;
}

// Replaces the line's bytes from `start` to the cursor with `text`, as one step of undo.
void replace_before_cursor(size_t start, const std::string& text) {
  rl_begin_undo_group();
  rl_delete_text(static_cast<int>(start), rl_point);
  rl_point = static_cast<int>(start);
  rl_insert_text(text.c_str());
  rl_end_undo_group();
}

// Reads the answer to a question of the editor: one key, or none when Ctrl-C or the end of the
// input came first (Ctrl-C stays raised, so that the shell drops the line as usual).
std::optional<int> read_answer() {
  unsigned char c;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR && !g_interrupt_requested) continue;
    return std::nullopt;
  }
}

void on_window_change(int) { g_window_resized = 1; }

// readline's question whether more input waits: never, so that it takes one character at a time.
int no_typeahead() { return 0; }

// Settings readline keeps for the whole run (setting them again is harmless).
void setup_readline() {
  rl_readline_name = "velc";
  rl_catch_signals = 0;   // SIGINT is ours: see the shell loop
  rl_catch_sigwinch = 0;  // so is SIGWINCH: LineEditor::handle_resize
  rl_getc_function = getc_from_feed;
  rl_attempted_completion_function = complete_nothing;
  // readline learns the terminal's capabilities when it first starts, and only while its own
  // redisplay is in place: with another one it takes the terminal for one that cannot move the
  // cursor up and draws every line on one row, scrolled sideways, where readline 8.2 reads past
  // its line buffers once a line nears 1 kB. So it starts here, before ours takes over.
  rl_redisplay_function = rl_redisplay;
  rl_initialize();
  rl_redisplay_function = redisplay_with_hint;
  // readline never looks ahead for typed characters: it would read them from standard input
  // itself, past our poll loop, and a Ctrl-C that empties the terminal's input queue between
  // its look and its read would leave it blocked in that read.
  rl_input_available_hook = no_typeahead;
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

// Tab.
int on_complete_key(int, int) {
  if (g_active) g_active->complete();
  return 0;
}

// Enter: the hint leaves the screen before the line is finished, so that it is never left
// behind the command's line.
int on_accept_key(int count, int key) {
  if (g_active) g_active->erase_hint();
  return rl_newline(count, key);
}

// Draws the line as readline does, with the hint after it.
void redisplay_with_hint() {
  LineEditor* editor = g_active;
  if (editor) editor->erase_hint();
  rl_redisplay();
  if (editor) editor->draw_hint();
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
  hint_width_ = 0;
  rl_callback_handler_install(prompt_.c_str(), on_line_finished);
  // Bound after the handler is installed: readline reads the user's inputrc when it first
  // starts, and our keys must win over what it binds.
  rl_bind_key('\t', on_complete_key);
  rl_bind_key('\r', on_accept_key);
  rl_bind_key('\n', on_accept_key);
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
  erase_hint();
  rl_clear_visible_line();
  std::fflush(rl_outstream);
  hidden_ = true;
}

void LineEditor::clear() {
  if (!installed_) return;
  erase_hint();
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

void LineEditor::complete() {
  if (!complete_) {
    rl_ding();
    return;
  }
  Completion c;
  try {
    c = complete_(std::string(rl_line_buffer, rl_point));
  } catch (...) {
    return;  // nothing offered; an exception never unwinds through readline
  }
  if (hidden_) {
    // The completion printed something below the line (hide() took it away first): the line
    // is drawn anew under it before anything is inserted.
    hidden_ = false;
    rl_forced_update_display();
  }
  if (c.candidates.empty()) {
    rl_ding();
    return;
  }
  size_t start = std::min<size_t>(c.fragment_start, rl_point);
  size_t typed = rl_point - start;
  if (c.candidates.size() == 1) {
    std::string text = c.candidates.front();
    // A finished word is followed by a blank; a node to go into, a folder, a value's place, or
    // a Lua call's or index's opening (print(, t[) is not.
    if (text.empty() || !std::strchr("./=([:", text.back())) text += ' ';
    replace_before_cursor(start, text);
    return;
  }
  std::string common = common_beginning(c.candidates);
  if (common.size() > typed ||
      (common.size() == typed && common.compare(0, typed, rl_line_buffer + start, typed) != 0)) {
    replace_before_cursor(start, common);  // longer, or the candidates' spelling of it
    return;
  }
  // Nothing to add: a second Tab in a row lists the candidates.
  if (rl_last_func == on_complete_key)
    list_candidates(c.candidates);
  else
    rl_ding();
}

void LineEditor::list_candidates(const std::vector<std::string>& candidates) {
  // The list goes below the whole line: the cursor moves to its end for the time of printing.
  erase_hint();
  int point = rl_point;
  rl_point = rl_end;
  rl_redisplay();
  rl_point = point;
  std::fputc('\n', rl_outstream);
  if (rl_completion_query_items > 0 &&
      candidates.size() >= static_cast<size_t>(rl_completion_query_items)) {
    std::fprintf(rl_outstream, "Display all %zu possibilities? (y or n)", candidates.size());
    std::fflush(rl_outstream);
    bool yes = false;
    for (;;) {
      std::optional<int> key = read_answer();
      if (!key) break;
      if (*key == 'y' || *key == 'Y' || *key == ' ') yes = true;
      if (yes || *key == 'n' || *key == 'N' || *key == 0x7f || *key == 0x1b || *key == 0x07) break;
      rl_ding();
    }
    std::fputc('\n', rl_outstream);
    if (!yes) {
      rl_on_new_line();
      rl_forced_update_display();
      return;
    }
  }
  std::vector<char*> matches;
  std::string common = common_beginning(candidates);
  matches.push_back(common.data());
  size_t longest = 0;
  for (const std::string& c : candidates) {
    matches.push_back(const_cast<char*>(c.c_str()));  // readline only reads them
    longest = std::max(longest, c.size());
  }
  matches.push_back(nullptr);
  if (colours_) std::fputs(hsv_sequence(candidate_colour_).c_str(), rl_outstream);
  rl_display_match_list(matches.data(), static_cast<int>(candidates.size()),
                        static_cast<int>(longest));
  if (colours_) std::fputs("\033[0m", rl_outstream);
  rl_on_new_line();
  rl_forced_update_display();
}

void LineEditor::erase_hint() {
  if (hint_width_ == 0) return;
  // The cursor stands where the hint begins: erase to the end of the row.
  std::fputs("\033[K", rl_outstream);
  std::fflush(rl_outstream);
  hint_width_ = 0;
}

void LineEditor::draw_hint() {
  if (!hint_ || !colours_ || hidden_ || rl_end == 0 || rl_point != rl_end ||
      RL_ISSTATE(RL_STATE_ISEARCH | RL_STATE_NSEARCH | RL_STATE_SEARCH | RL_STATE_NUMERICARG))
    return;
  int prompt_width = prompt_columns(prompt_);
  if (prompt_width < 0 || !plain_ascii(rl_line_buffer, rl_end)) return;
  std::optional<std::string> hint;
  try {
    hint = hint_(std::string(rl_line_buffer, rl_end));
  } catch (...) {
    return;
  }
  if (!hint || hint->empty() || !plain_ascii(hint->data(), hint->size())) return;
  int rows = 0, cols = 0;
  rl_get_screen_size(&rows, &cols);
  if (cols <= 0) return;
  // The hint stays on the cursor's row: it never wraps, so moving back over it is exact.
  size_t column = static_cast<size_t>(prompt_width + rl_end) % cols;
  if (column == 0) return;  // the cursor waits at the row's end; nothing fits after it
  size_t room = cols - column - 1;
  if (hint->size() > room) hint->resize(room);
  if (hint->empty()) return;
  std::fprintf(rl_outstream, "%s%s\033[0m\033[%zuD", hsv_sequence(hint_colour_).c_str(),
               hint->c_str(), hint->size());
  std::fflush(rl_outstream);
  hint_width_ = hint->size();
}

bool line_editor_suits_input() {
  if (!isatty(STDIN_FILENO)) return false;
  setup_readline();
  const char* up = rl_get_termcap("up");
  return up && *up;
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

int line_editor_read_key() {
  // O_NONBLOCK only for this read: the descriptor is shared with the programs around us.
  int flags = ::fcntl(STDIN_FILENO, F_GETFL);
  if (flags < 0) return line_editor_getch();
  ::fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
  unsigned char c;
  ssize_t n = ::read(STDIN_FILENO, &c, 1);
  int kept = errno;
  ::fcntl(STDIN_FILENO, F_SETFL, flags);
  if (n == 1) return c;
  if (n < 0 && (kept == EAGAIN || kept == EWOULDBLOCK || kept == EINTR)) return kNoKey;
  return -1;
}

std::string line_editor_prompt(const std::string& prompt, const HsvColour& colour, bool colours) {
  if (!colours) return prompt;
  return "\001" + hsv_sequence(colour) + "\002" + prompt + "\001\033[0m\002";
}

}  // namespace k
