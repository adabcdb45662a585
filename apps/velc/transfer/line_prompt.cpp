#include "transfer/line_prompt.h"

#include <unistd.h>

#include <cstdio>

#include "platform/interrupt.h"

namespace k {

std::optional<std::string> prompt_line(const std::string& prompt) {
  // Ctrl-C must reach us as an exception, also where no command scope catches the signal.
  InterruptScope interrupt;
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  std::string line;
  int c;
  while ((c = read_byte_interruptibly(STDIN_FILENO)) >= 0 && c != '\n') line += static_cast<char>(c);
  if (c < 0 && line.empty()) return std::nullopt;
  return line;
}

}  // namespace k
