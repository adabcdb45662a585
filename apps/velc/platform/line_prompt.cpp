#include "platform/line_prompt.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/interrupt.h"

namespace k {

namespace {

// Ctrl-C is noticed within this many milliseconds even if it slipped in just before a poll.
constexpr int kInterruptSliceMs = 250;

// One byte of standard input, or -1 at the end of input or on an error. Waits in slices, so
// that Ctrl-C ends the wait.
int read_byte() {
  for (;;) {
    interrupt_check();
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int r = ::poll(&p, 1, kInterruptSliceMs);
    if (r < 0 && errno != EINTR) return -1;
    if (r <= 0) continue;
    unsigned char c;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return -1;
  }
}

}  // namespace

std::optional<std::string> prompt_line(const std::string& prompt) {
  // Ctrl-C must reach us as an exception, also where no command scope catches the signal.
  InterruptScope interrupt;
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  std::string line;
  int c;
  while ((c = read_byte()) >= 0 && c != '\n') line += static_cast<char>(c);
  if (c < 0 && line.empty()) return std::nullopt;
  return line;
}

}  // namespace k
