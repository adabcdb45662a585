#include "shell/line_loop.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/interrupt.h"

namespace {

// Readable, or at an end that a read reports (so a closed input ends the loop, not a busy loop).
bool readable(const pollfd& p) { return p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL); }

}  // namespace

void run_line_loop(LineSource& input, const Session& session, const k::ColourTable& colours,
                   k::Connection* events, const LineLoopHandlers& handlers) {
  k::InterruptScope sigint;
  auto cancel_line = [&] {
    k::g_interrupt_requested = 0;
    input.cancel();
    if (handlers.cancelled) handlers.cancelled();
  };
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {events ? events->fd() : -1, POLLIN, 0}};
  const size_t count = events ? 2 : 1;

  while (session.running) {
    if (!input.editing()) handlers.show_prompt();
    if (k::g_interrupt_requested) {
      cancel_line();
      continue;
    }
    fds[0].revents = fds[1].revents = 0;
    const bool events_buffered = events && events->has_buffered_message();
    const int n = events_buffered ? 0 : k::poll_unless_interrupted(fds, count);
    input.handle_resize();
    if (k::g_interrupt_requested) {
      cancel_line();
      continue;
    }
    if (n < 0) {
      if (errno == EINTR) continue;  // a window change
      std::printf("Error poll(): %s\n", std::strerror(errno));
      break;
    }
    if (events && (events_buffered || readable(fds[1]))) {
      if (!handlers.events()) break;
    }
    if (!readable(fds[0])) continue;

    bool ended = false;
    std::optional<std::string> line = input.read(ended, colours.escape);
    if (ended) {
      std::putchar('\n');  // the terminal's own prompt starts on a fresh line
      break;
    }
    if (line && !handlers.line(*line)) break;
  }
  std::fflush(stdout);
}
