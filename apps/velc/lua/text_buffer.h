// The text buffer the Lua value printer writes into: the rendered bytes and the column the output
// line has reached, so that long output can wrap under the indent in force.
#pragma once

#include <string>
#include <string_view>

// One buffer reused by every rendering: each rendering starts it empty (reset), and its memory is
// kept and only grows, so rendering results one after another allocates once.
class TextBuffer {
 public:
  // Empties the text and sets the column and indent to 0 and the line width to `width`.
  void reset(int width = 80);
  // Makes room for `n` more bytes.
  void ensure_room(size_t n);
  // Starts a new line: "\n" and indent spaces; the column becomes the indent.
  void new_line();
  // Appends `piece`, first starting a new line when it would pass the width on this line but
  // fits on a fresh one (scalars, identifier keys and the cut-short markers).
  void append_wrapped(std::string_view piece);
  // Appends `piece` as it is (punctuation and the characters of a quoted string).
  void append_direct(std::string_view piece);

  // The rendered bytes.
  const std::string& text() const { return text_; }
  // Visible characters on the current output line (may exceed the width).
  int column() const { return column_; }
  // Spaces that start a new line.
  int indent() const { return indent_; }
  void set_indent(int indent) { indent_ = indent; }
  // The line width of this rendering.
  int width() const { return width_; }

 private:
  std::string text_;
  int column_ = 0;
  int indent_ = 0;
  int width_ = 80;
};

// What `piece` adds to the column: its bytes up to its first NUL byte, where an escape sequence,
// from ESC up to and including the next "m", counts as nothing (a newline counts as one).
int visible_length(std::string_view piece);
