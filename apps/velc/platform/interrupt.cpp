#include "platform/interrupt.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace k {

volatile sig_atomic_t g_interrupt_requested = 0;

void interrupt_check() {
  if (g_interrupt_requested) {
    g_interrupt_requested = 0;
    throw Interrupted{};
  }
}

int read_byte_interruptibly(int fd) {
  for (;;) {
    interrupt_check();
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, kInterruptSliceMs);
    if (r < 0 && errno != EINTR) return -1;
    if (r <= 0) continue;
    unsigned char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n == 1) return c;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return -1;
  }
}

int poll_unless_interrupted(pollfd* fds, size_t count) {
  sigset_t sigint, outside;
  sigemptyset(&sigint);
  sigaddset(&sigint, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sigint, &outside);
  int n = g_interrupt_requested ? 0 : ::ppoll(fds, count, nullptr, &outside);
  int kept = errno;
  pthread_sigmask(SIG_SETMASK, &outside, nullptr);
  errno = kept;
  return n;
}

int64_t monotonic_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {
void on_sigint(int) { g_interrupt_requested = 1; }
}  // namespace

InterruptIgnored::InterruptIgnored() {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &old_);
}

InterruptIgnored::~InterruptIgnored() { sigaction(SIGINT, &old_, nullptr); }

InterruptScope::InterruptScope() {
  g_interrupt_requested = 0;
  struct sigaction sa {};
  sa.sa_handler = on_sigint;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: blocking calls return EINTR and see the flag
  sigaction(SIGINT, &sa, &old_);
}

InterruptScope::~InterruptScope() {
  sigaction(SIGINT, &old_, nullptr);
  g_interrupt_requested = 0;
}

}  // namespace k
