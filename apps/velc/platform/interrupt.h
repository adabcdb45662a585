// Ctrl-C while a command runs. The SIGINT handler only raises a flag; every blocking point of the
// client (socket waits, sleeps, prompts) checks it and throws `Interrupted`, which the shell
// catches at the command boundary, so destructors run and nothing leaks.
#pragma once

#include <poll.h>

#include <csignal>
#include <cstddef>
#include <cstdint>

namespace k {

// Thrown at a blocking point after SIGINT; caught where the command was started.
struct Interrupted {};

// Raised by the SIGINT handler of a running command.
extern volatile sig_atomic_t g_interrupt_requested;

// Throws `Interrupted` (clearing the flag) when an interrupt is pending.
void interrupt_check();

// A wait polls in slices of this many milliseconds, so that Ctrl-C is noticed even when the
// signal slipped in just before the poll started.
inline constexpr int kInterruptSliceMs = 250;

// One byte of `fd`, or -1 at the end of input or on an error. Waits in slices, throwing
// `Interrupted` when Ctrl-C comes.
int read_byte_interruptibly(int fd);

// Waits like poll() for the descriptors, without a time limit, unless Ctrl-C's flag is up. The
// flag is checked with SIGINT blocked and the wait lets SIGINT in atomically (ppoll), so a
// Ctrl-C that comes between the check and the wait is not left waiting for the next key. The
// result of ppoll: -1 with errno EINTR after a signal; 0 at once when the flag was already up.
int poll_unless_interrupted(pollfd* fds, size_t count);

// Milliseconds of the monotonic clock, for deadlines.
int64_t monotonic_ms();

// Ignores SIGINT for its lifetime (start-up work that must not be cut short, such as joining the
// event groups the shell depends on), then restores the previous action.
class InterruptIgnored {
 public:
  InterruptIgnored();
  ~InterruptIgnored();
  InterruptIgnored(const InterruptIgnored&) = delete;
  InterruptIgnored& operator=(const InterruptIgnored&) = delete;

 private:
  struct sigaction old_{};
};

// Installs the command-time SIGINT handler (raises the flag) or restores the previous action.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  struct sigaction old_{};
};

}  // namespace k
