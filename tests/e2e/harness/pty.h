// Test harness: a program on a pseudo-terminal of our own, typed at like a user at a console, and
// velc's interactive shell on one against an emulator, typed at line by line.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness/process.h"

namespace e2e {

// The control keys a test types.
inline constexpr const char* kCtrlC = "\x03";
inline constexpr const char* kCtrlD = "\x04";

// A program running on a new 24 x 80 terminal with TERM=xterm; killed (if still running) and
// reaped at the end.
class Pty {
 public:
  // `env` entries "NAME=value" are added to the environment.
  Pty(const std::string& program, const std::vector<std::string>& args,
      const std::vector<std::string>& env);
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // Types text (keys included: kCtrlC, kCtrlD, "\r" for Enter).
  void type(const std::string& text);
  // Waits until `done` holds for the screen text. False when the program ended, or a generous
  // deadline passed, without it.
  bool wait_until(const std::function<bool(const std::string& screen)>& done);
  // Waits until the screen text after position `from` (see mark) holds `text`.
  bool wait_for(const std::string& text, size_t from);
  // Types `keys` and waits until the screen text after them holds `text`.
  bool type_until(const std::string& keys, const std::string& text);
  // The length of the screen text that has arrived so far.
  size_t mark();
  // The screen text so far: the output without escape sequences and carriage returns.
  std::string text() const;
  // Everything the program wrote so far, escape sequences included.
  const std::string& raw() const { return raw_; }
  // Waits for the program to end (killing it after a generous deadline) and gives its exit
  // status, or 128 + the signal that ended it.
  int wait_exit();

 private:
  // Reads what the terminal has, waiting at most `ms`; false when the program's side closed.
  bool pump(int ms);

  int master_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
  std::string raw_;
};

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
