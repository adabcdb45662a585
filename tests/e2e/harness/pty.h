// Test harness: a program on a pseudo-terminal of our own, typed at like a user at a console.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// The control keys a test types.
inline constexpr const char* kCtrlC = "\x03";
inline constexpr const char* kCtrlD = "\x04";

// A program running on a new pseudo-terminal; killed (if still running) and reaped at the end.
class Pty {
 public:
  // Starts `program` with `args` on a terminal of `rows` x `cols`. `env` entries "NAME=value"
  // are added to the environment ("NAME" alone removes it); TERM is "xterm" unless given.
  Pty(const std::string& program, const std::vector<std::string>& args,
      const std::vector<std::string>& env = {}, int rows = 24, int cols = 80);
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // Types text (keys included: kCtrlC, kCtrlD, "\r" for Enter).
  void type(const std::string& text);
  // Waits until the screen text after position `from` (see mark) holds `text`. False when the
  // program ended, or a generous deadline passed, without it.
  bool wait_for(const std::string& text, size_t from = 0);
  // Waits until `done` holds for the screen text; false as for wait_for.
  bool wait_until(const std::function<bool(const std::string& screen)>& done);
  // The position in the screen text up to which output has arrived so far.
  size_t mark();
  // Everything written to the terminal so far, raw.
  const std::string& raw();
  // The screen text so far: the raw output without escape sequences and carriage returns.
  std::string text();
  // Sends a signal to the program.
  void signal(int sig);
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

// A text without terminal escape sequences and carriage returns.
std::string screen_text(const std::string& raw);

}  // namespace e2e
