// The lines of a command script: joining physical lines into logical ones (a final backslash or
// an open quote continues a line) and splitting a logical line into what it asks for (nothing,
// echo, sleep, or a command word with its arguments, split as the shell splits a line). No
// input, output or dispatch here: the runner (app/script.h) reads, prints and dispatches.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/plain_input.h"

// True when the byte at `position` of `text` is preceded by an odd number of backslashes,
// counting back no further than the start of `text`.
bool char_is_escaped(std::string_view text, size_t position);

// True when `text` ends a logical line: it is empty, or no quote (' or ", not escaped; one kind
// inside the other is an ordinary byte) is left open and it does not end in a backslash that is
// not itself escaped.
bool line_is_complete(std::string_view text);

// A physical line as getline read it: cut at its first NUL byte (lines are C texts), then one
// trailing newline removed. A carriage return before the newline stays.
std::string_view script_physical_line(std::string_view read);

// The longest logical line of a command script is the shell's, kLineMax bytes: a physical line
// as read (before its newline), or the text joined from continued lines. A longer one stops the
// script, so that an input without newlines (/dev/zero) cannot fill the memory.

// Joins physical lines into logical lines. A line continues the logical line while the text
// joined so far (this line included) is not complete in the sense of line_is_complete, so a
// quote stays open across lines until a later line closes it. A continued line loses its last
// byte when that is a backslash; pieces are joined with nothing between them. The quote state is
// carried from line to line, so each byte is looked at once however long a logical line grows.
// Physical lines are numbered from 1 in the order they are added, for messages.
class ScriptLineJoiner {
 public:
  // Takes the next physical line; gives the logical line it completes, or none while the
  // logical line goes on.
  std::optional<std::string> add(std::string_view line);
  // True while lines were taken that have not completed a logical line (at the end of a script
  // that text is dropped).
  bool pending() const { return pending_; }
  // The bytes joined so far of the logical line that goes on.
  size_t size() const { return text_.size(); }
  // The physical lines taken so far.
  size_t lines() const { return lines_; }
  // The number of the physical line that began the latest logical line (the one add gave, or
  // the one that goes on).
  size_t first_line() const { return first_line_; }
  // The quote left open by the lines taken (0 when none), and the number of the physical line
  // that opened it.
  char open_quote() const { return open_quote_; }
  size_t quote_line() const { return quote_line_; }

 private:
  std::string text_;             // the pieces of the open logical line
  bool pending_ = false;
  char open_quote_ = 0;          // the quote open at the end of text_, or 0
  bool odd_backslashes_ = false;  // text_ ends in an odd number of backslashes
  size_t lines_ = 0;             // physical lines taken
  size_t first_line_ = 0;
  size_t quote_line_ = 0;
};

// What one logical line asks for.
struct ScriptLine {
  enum class Kind {
    kNothing,  // empty, a comment, or only a comment after blanks
    kEcho,     // print `echo` and a newline
    kSleep,    // sleep `seconds` (nothing when not positive)
    kCommand,  // run `words`: the command word, then its arguments
  };
  Kind kind = Kind::kNothing;
  std::string echo;
  int seconds = 0;
  std::vector<std::string> words;
};

// Splits a logical line into what it asks for. Its words follow the shell's rules
// (shell/tokenizer.h: quotes keep blanks and are removed, a backslash protects a quote, a
// backslash or "#", "#" outside quotes starts a comment), so nothing but a comment or blanks
// asks for nothing. A first word "echo" prints the rest of the line after the one blank that
// follows it, exactly as written (quotes and "#" included); "sleep" sleeps for the number the
// rest begins with (read like atoi: 0 without one; clamped to the range of int).
ScriptLine script_line_parse(std::string_view text);
