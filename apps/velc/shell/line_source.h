// Where an interactive shell's lines come from (the shell's and the Lua shell's): the line editor
// on a terminal it suits, plain reading of standard input otherwise (see line_editor_suits_input).
#pragma once

#include <optional>
#include <string>

#include "platform/colors.h"
#include "platform/line_editor.h"
#include "shell/plain_input.h"

class LineSource {
 public:
  // Chooses the way in for standard input as it is now.
  LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // The editor, for its completion and hints; none when lines are read plainly.
  k::LineEditor* editor() { return editor_ ? &*editor_ : nullptr; }
  // Shows the prompt in `colour` while the scheme `colours` is enabled (whose entries also colour
  // the editor's candidates and hints): the editor's show(); plainly, the prompt is written once
  // per line, and again after hide().
  void show(const std::string& prompt, const k::HsvColour& colour, const k::ColourTable& colours);
  // Makes room for ordinary output (see LineEditor::hide); show() puts the prompt back.
  void hide();
  // True while a line is being read (its prompt is shown).
  bool editing() const { return editor_ ? editor_->editing() : prompt_shown_; }
  // Ctrl-C at the prompt: drops the line and ends its row, with "^C" unless the terminal wrote
  // that itself.
  void cancel();
  // Follows a change of the window size (call after poll).
  void handle_resize() {
    if (editor_) editor_->handle_resize();
  }
  // Takes what standard input holds once a poll found it readable, never waiting. The finished
  // line, if any; `ended` is set at the end of the input. A line read plainly from input that is
  // no terminal is shown after its prompt (escaped with `escape`), as the editor shows it.
  std::optional<std::string> read(bool& ended, bool escape);

 private:
  std::optional<k::LineEditor> editor_;  // none: lines are read plainly
  PlainInput plain_;
  bool prompt_shown_ = false;  // plainly: the prompt of the line being read is on the screen
  bool echo_ = false;          // plainly: the input is no terminal, which would echo it
};
