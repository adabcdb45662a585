// Test harness: velc's interactive shell on a pseudo-terminal against an emulator, typed at line
// by line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"

namespace e2e {

// The last line of a screen text.
std::string last_line(const std::string& screen);
// True when the screen ends with a shell prompt, after any redraws on the same line.
bool ends_with_prompt(const std::string& screen);

// velc's interactive shell on a terminal, with its own home folder; the history file is
// `history`, or one in that folder, and the Lua shell's history file is "lua-history" in that
// folder. Colours are off (NO_COLOR) unless `colours` is true. `env` entries ("NAME=value") are
// added to the environment.
class Shell {
 public:
  explicit Shell(const Emulator& sim, std::vector<std::string> args = {}, std::string history = "",
                 bool colours = false, std::vector<std::string> env = {});

  Pty& pty() { return *pty_; }
  const std::string& history() const { return history_; }
  const std::string& home() const { return home_.path(); }

  // Types a line and waits for the next prompt. Gives what the command printed: the text
  // between the echo of the line and the prompt's line.
  std::string run(const std::string& line);
  // Types `keys` (Ctrl-C, a line with Tab, ...) and waits until the screen after them ends with
  // a prompt. Gives the screen text after the keys.
  std::string keys(const std::string& keys);
  // Types `keys` (q, Ctrl-D) and expects the shell to end with status 0.
  void quit(const std::string& keys);

 private:
  k::test::TempDir home_;
  std::string history_;
  std::unique_ptr<Pty> pty_;
};

}  // namespace e2e
