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

}  // namespace e2e
