#include "platform/interrupt.h"

namespace k {

volatile sig_atomic_t g_interrupt_requested = 0;

void interrupt_check() {
  if (g_interrupt_requested) {
    g_interrupt_requested = 0;
    throw Interrupted{};
  }
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
