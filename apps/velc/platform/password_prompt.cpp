#include "platform/password_prompt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

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
  std::fputs(prompt.c_str(), out);
  std::fflush(out);
  std::string line;
  {
    EchoOff quiet(STDIN_FILENO);
    for (int c; (c = read_byte_interruptibly(STDIN_FILENO)) >= 0 && c != '\n';)
      line += static_cast<char>(c);
  }
  std::fputc('\n', out);
  std::fflush(out);
  return line;
}

std::optional<std::string> password_file_read(const std::string& path, std::string& why) {
  Fd fd = open_private_file(path, O_RDONLY, S_IRWXG | S_IRWXO, why);
  if (!fd) return std::nullopt;
  std::string text;
  char chunk[512];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(chunk, static_cast<size_t>(n));
    if (text.find('\n') != std::string::npos) break;
  }
  return text.substr(0, text.find('\n'));
}

}  // namespace k
