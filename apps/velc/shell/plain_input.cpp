#include "shell/plain_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

// How many bytes one call reads at most before it gives the shell loop back its turn.
constexpr size_t kReadSlice = size_t{64} << 10;

}  // namespace

std::optional<std::string> PlainInput::read_available() {
  if (ended_) return std::nullopt;
  // O_NONBLOCK only while reading: the descriptor is shared with the programs around us. A read
  // that waited would hold the shell away from the events connection and from Ctrl-C.
  int flags = ::fcntl(STDIN_FILENO, F_GETFL);
  if (flags >= 0 && !(flags & O_NONBLOCK)) ::fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
  std::optional<std::string> line;
  for (size_t taken = 0; taken < kReadSlice; ++taken) {
    char c;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n == 1) {
      if (c != '\n' && c != '\r') {
        if (overlong_) continue;
        pending_.push_back(c);
        if (pending_.size() > kLineMax) {
          overlong_ = true;
          pending_ = std::string();
          std::fprintf(stderr, "velc: a line longer than %zu bytes is not run\n", kLineMax);
        }
        continue;
      }
      if (std::exchange(overlong_, false)) continue;
      line = std::exchange(pending_, {});
      break;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
    // The end of the input finishes an unfinished line; the next call reports the end.
    if (!pending_.empty() && !overlong_)
      line = std::exchange(pending_, {});
    else
      ended_ = true;
    break;
  }
  if (flags >= 0 && !(flags & O_NONBLOCK)) ::fcntl(STDIN_FILENO, F_SETFL, flags);
  return line;
}
