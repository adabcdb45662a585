// The shell's lines read without the line editor: from a pipe, a file, or a terminal the editor
// cannot serve (see line_editor_suits_input). Every byte is handled once, so a line of megabytes
// takes time in proportion to its length.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The longest line velc takes from its input, in the shell read without the editor and in
// command scripts: a longer one is not run, and reading it costs no more memory than this.
inline constexpr size_t kLineMax = size_t{1} << 20;

// Collects the lines of standard input as they arrive, between the polls of the shell loop.
// Bytes are read one at a time, so that nothing past the end of a line is taken from the
// programs that read the same input after it (a password prompt, the Lua shell, `sh`).
class PlainInput {
 public:
  // Reads what standard input holds now, never waiting for more, and at most a slice of it, so
  // that endless input (/dev/zero) still leaves the shell its events and Ctrl-C. Gives the
  // finished line once its end ("\n" or "\r") is read, or the text read so far when the input
  // ends after it; none while the line is unfinished and at the end of the input (see ended).
  // A line longer than kLineMax is dropped as it comes, with a line on standard error.
  std::optional<std::string> read_available();
  // True once the input has ended (end of file or a read error) and every line was given.
  bool ended() const { return ended_; }
  // Drops the unfinished line (Ctrl-C).
  void clear() {
    pending_.clear();
    overlong_ = false;
  }

 private:
  std::string pending_;
  bool overlong_ = false;  // the line being read passed kLineMax: its rest is skipped
  bool ended_ = false;
};
