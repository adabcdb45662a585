// Our asynchronous line editor over readline's callback interface. The caller polls standard
// input itself and feeds the editor one character at a time, so that it can serve other inputs
// (the events socket) while the user types, and print between keystrokes without losing the
// half-typed line.
//
// readline keeps one global state, so at most one editor is active (installed) at a time; a
// nested editor is fine while the outer one is not installed, which is the case while a command
// runs.
#pragma once

#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/colors.h"

namespace k {

// What completing the text before the cursor offers: the candidates, and where the typed
// fragment starts that each of them replaces.
struct Completion {
  size_t fragment_start = 0;
  std::vector<std::string> candidates;
};
// Completes the text before the cursor.
using CompleteFunction = std::function<Completion(const std::string& before_cursor)>;
// The hint for the whole line (the cursor at its end): text to show after the cursor, or none.
using HintFunction = std::function<std::optional<std::string>(const std::string& line)>;

// The editor's switches that the user sets (the shell's `opt` command): completion on Tab and
// hints after the cursor.
struct EditorSwitches {
  bool autocomplete = true;
  bool hints = true;
};

// One editing session on standard input and output.
class LineEditor {
 public:
  // Takes over SIGWINCH (the window size follows the terminal); nothing is shown yet.
  LineEditor();
  // Drops any line being edited, gives the terminal back and restores SIGWINCH.
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // Shows the prompt (in `colour` when `colours` is true) and the line so far: starts a fresh
  // line when none is being edited, or draws again the line that hide() took off the screen,
  // with this prompt (it may have changed meanwhile).
  void show(const std::string& prompt, const HsvColour& colour, bool colours);
  // Takes the line being edited off the screen, so that ordinary output can be printed; the
  // line is kept, and show() draws it again below that output (so does a completion callback
  // that hid it, once it returns, and the next character fed).
  void hide();
  // Hands one character (from line_editor_read_key) to the editor. Gives the finished line when
  // this character ended it; none while the line is still being edited and at the end of input
  // (Ctrl-D on an empty line, or standard input closed: see input_ended).
  std::optional<std::string> feed(int ch);
  // True while a line is being edited (started by show and not yet finished).
  bool editing() const { return installed_; }
  // True once the input has ended (Ctrl-D on an empty line or end of file).
  bool input_ended() const { return input_ended_; }
  // Drops the line being edited (Ctrl-C); the next show() starts a fresh line.
  void clear();
  // Follows a change of the window size signalled since the last call (call after poll).
  void handle_resize();

  // Tab completes with `complete`: one candidate replaces the typed fragment (followed by a
  // blank unless it ends in ".", "/" or "="); several put their common beginning in its place,
  // and a second Tab lists them (asking first when there are many). Without a function Tab
  // does nothing. A function that throws offers nothing.
  void set_completion(CompleteFunction complete) { complete_ = std::move(complete); }
  // While the cursor stands at the end of the line, `hint` gives text shown after it in the
  // hint colour, cut to the room left on the screen's row, and erased at the next change of the
  // line and before the line is finished. Hints are drawn only while colours are enabled: in
  // the terminal's own colour they could not be told from typed text.
  void set_hints(HintFunction hint) { hint_ = std::move(hint); }
  // The colours of listed candidates and of hints; none are written unless `enabled`.
  void set_colours(const HsvColour& candidates, const HsvColour& hint, bool enabled) {
    candidate_colour_ = candidates;
    hint_colour_ = hint;
    colours_ = enabled;
  }

 private:
  friend void on_line_finished(char* line);
  friend int getc_from_feed(FILE*);
  friend int on_complete_key(int, int);
  friend int on_accept_key(int, int);
  friend void redisplay_with_hint();
  void finish(char* line);
  void uninstall();
  void complete();
  void list_candidates(const std::vector<std::string>& candidates);
  void erase_hint();
  void draw_hint();

  bool installed_ = false;  // readline's callback handler is ours and a line is being edited
  bool hidden_ = false;     // the line was taken off the screen by hide() and awaits show()
  bool input_ended_ = false;
  int pending_char_;        // the character being fed to readline
  std::optional<std::string> finished_;
  std::string prompt_;      // the prompt as handed to readline
  CompleteFunction complete_;
  HintFunction hint_;
  HsvColour candidate_colour_;
  HsvColour hint_colour_;
  bool colours_ = false;
  size_t hint_width_ = 0;   // columns of the hint on the screen after the cursor; 0: none
  struct sigaction old_winch_ {};
};

// True when standard input is a terminal that the editor can serve: one that can move the cursor
// up, so that a line longer than a row is drawn over several rows. On any other input (a pipe, a
// file, a terminal such as TERM=dumb) lines are to be read without the editor: readline would
// redraw a whole line at every character (quadratic in its length), and on a terminal that cannot
// move up it draws the line on one row scrolled sideways, where readline 8.2 reads past its
// buffers once the line nears 1 kB.
bool line_editor_suits_input();

// Reads one byte of standard input for the editor; -1 at end of input or on an error.
int line_editor_getch();

// What line_editor_read_key gives when nothing is there to read.
inline constexpr int kNoKey = -2;

// Reads one byte of standard input after a poll found it readable, without ever blocking: a
// Ctrl-C typed meanwhile flushes the terminal's input, and a read that waited for more would
// hold the shell until the next key. The byte; kNoKey when nothing is there (or a signal came);
// -1 at end of input or on an error.
int line_editor_read_key();

// The prompt as handed to readline: wrapped in `colour` when `colours` is true, with the
// sequences between \001 and \002 so that readline does not count them as visible.
std::string line_editor_prompt(const std::string& prompt, const HsvColour& colour, bool colours);

}  // namespace k
