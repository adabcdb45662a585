// Our asynchronous line editor over readline's callback interface. The caller polls standard
// input itself and feeds the editor one character at a time, so that it can serve other inputs
// (the events socket) while the user types, and print between keystrokes without losing the
// half-typed line.
//
// readline keeps one global state, so at most one editor is active (installed) at a time; a
// nested editor (the Lua shell inside a shell command) is fine while the outer one is not
// installed, which is the case while a command runs.
#pragma once

#include <csignal>
#include <optional>
#include <string>

#include <jansson.h>

#include "platform/colors.h"

namespace k {

// Fills `candidates` (a JSON array of strings) with the completions of the word under the
// cursor; each candidate replaces the part of the word after its last ".", "=", "/" or blank.
using CompleteCallback = void (*)(const char* line, int cursor, json_t* candidates);
// The hint for a line: text shown after the cursor in the hint colour; empty for none.
using HintCallback = std::string (*)(const char* line);

// One editing session on standard input and output.
class LineEditor {
 public:
  // Takes over SIGWINCH (the window size follows the terminal); nothing is shown yet.
  LineEditor();
  // Drops any line being edited, gives the terminal back and restores SIGWINCH.
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // Shows the prompt and the line so far: starts a fresh line when none is being edited, or
  // redraws the line hidden by restore() (taking the prompt anew, as it may have changed).
  void prepare(const std::string& prompt);
  // Hands one character (from line_editor_getch) to the editor. Gives the finished line when
  // this character ended it; none while the line is still being edited and at the end of input
  // (Ctrl-D on an empty line, or standard input closed: see ctrl_d_pressed).
  std::optional<std::string> feed(int ch);
  // True while a line is being edited (started by prepare and not yet finished).
  bool editing() const { return installed_; }
  // True once the input has ended (Ctrl-D on an empty line or end of file).
  bool ctrl_d_pressed() const { return ctrl_d_; }
  // Gives the terminal back for ordinary output: erases the visible line being edited (it is
  // kept, and prepare() shows it again below whatever was printed meanwhile).
  void restore();
  // Drops the line being edited (Ctrl-C); the next prepare() starts a fresh line.
  void clear();
  // Follows a change of the window size signalled since the last call (call after poll).
  void handle_resize();

 private:
  friend void on_line_finished(char* line);
  void finish(char* line);
  void uninstall();

  bool installed_ = false;  // readline's callback handler is ours and a line is being edited
  bool hidden_ = false;     // the line was erased by restore() and awaits prepare()
  bool ctrl_d_ = false;
  std::optional<std::string> finished_;
  LineEditor* outer_ = nullptr;  // the editor active before this one
  struct sigaction old_winch_ {};
};

// Reads one byte of standard input for the editor; -1 at end of input or on an error.
int line_editor_getch();

// The colours of the prompt, of hints and of completion candidates. They are written only
// while colours are enabled (a terminal and no NO_COLOR).
void line_editor_set_colors(const HsvColour& prompt, const HsvColour& hint,
                            const HsvColour& autocomplete);
// The completion callback (Tab); none switches completion off (Tab then completes nothing).
void line_editor_set_autocomplete_cb(CompleteCallback cb);
// The hint callback, asked while the cursor stands at the end of the line; none: no hints.
void line_editor_set_hint_cb(HintCallback cb);
// Whether completion compares candidates with the typed word without regard to case.
void line_editor_case_insensitive(bool on);

// The prompt as handed to readline: wrapped in the prompt colour when colours are on, with the
// sequences between \001 and \002 so that readline does not count them as visible.
std::string line_editor_prompt(const std::string& prompt);

}  // namespace k
