#include "platform/password_prompt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/interrupt.h"
#include "platform/private_file.h"

namespace k {

namespace {

// Switches a terminal's echo off for its lifetime; does nothing for a pipe or a file.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL);
    active_ = tcsetattr(fd_, TCSANOW, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

}  // namespace

std::string password_prompt(const std::string& prompt, FILE* out) {
  // Ctrl-C must reach us as an exception, never as the signal's default end of the process,
  // which would leave the terminal without echo.
  InterruptScope interrupt;
  std::fflush(stdout);  // what was printed before comes before the prompt
  std::string line;
  {
    // Echo goes off before the prompt shows: a password typed as soon as it appears is not
    // echoed.
    EchoOff quiet(STDIN_FILENO);
    std::fputs(prompt.c_str(), out);
    std::fflush(out);
    for (int c; (c = read_byte_interruptibly(STDIN_FILENO)) >= 0 && c != '\n';)
      line += static_cast<char>(c);
  }
  std::fputc('\n', out);
  std::fflush(out);
  return line;
}

std::optional<std::string> password_file_read(const std::string& path, std::string& why) {
  std::optional<std::string> text = read_private_file(path, S_IRWXG | S_IRWXO, why);
  if (text) text->resize(std::min(text->size(), text->find('\n')));
  return text;
}

}  // namespace k
