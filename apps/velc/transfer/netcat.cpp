#include "transfer/netcat.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

// Waits until the server socket has a connection to accept; false after `wait_ms`.
bool wait_readable(int fd, int wait_ms) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (r > 0) return true;
    if (r == 0 || errno != EINTR) return false;
  }
}

void send_file(NetcatTransfer& t) {
  std::fflush(t.out);
  if (!wait_readable(t.server.get(), t.wait_ms)) {
    std::fputs("Waiting timeout, abort.\n", t.out);
    return;
  }
  t.connection.reset(::accept4(t.server.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!t.connection) {
    std::fputs("accept() failed, abort.\n", t.out);
    return;
  }
  uint64_t sent = send_file_range(t.connection.get(), t.file.get(), 0, t.file_size);
  if (sent < t.file_size)
    std::fprintf(t.out, "send() failed (expected %llu bytes, transferred %lld bytes), abort.\n",
                 static_cast<unsigned long long>(t.file_size),
                 sent > 0 ? static_cast<long long>(sent) : -1LL);
}

// Blocks every signal for its lifetime, so that a thread started meanwhile inherits a mask that
// leaves Ctrl-C to the main thread, whose blocking points act on it.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

}  // namespace

uint64_t send_file_range(int to, int file, uint64_t offset, uint64_t count) {
  uint64_t sent = 0;
  while (sent < count) {
    off_t at = static_cast<off_t>(offset + sent);
    // A socket whose peer has gone fails with EPIPE: the sending thread blocks every signal, so
    // the SIGPIPE that comes with it stays pending in the thread and ends with it.
    ssize_t n = ::sendfile(to, file, &at, static_cast<size_t>(std::min<uint64_t>(count - sent, 1u << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a failure, or the file ended early
    sent += static_cast<uint64_t>(n);
  }
  return sent;
}

void netcat_sender(std::unique_ptr<NetcatTransfer> transfer) {
  std::function<void()> on_end = std::move(transfer->on_end);
  send_file(*transfer);
  std::fflush(transfer->out);
  transfer.reset();  // closing the connection ends the data for veld
  if (on_end) on_end();
}

int netcat_open(int connection_fd, const std::string& path, std::string& url, uint64_t& size,
                int wait_ms, std::function<void()> on_end, FILE* out) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(connection_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      addr.ss_family != AF_INET) {
    std::fputs("Cannot get local address, aborting.\n", out);
    return -1;
  }
  sockaddr_in local;
  std::memcpy(&local, &addr, sizeof local);
  return netcat_open_at(local, path, url, size, wait_ms, std::move(on_end), out);
}

int netcat_open_at(const sockaddr_in& local, const std::string& path, std::string& url,
                   uint64_t& size, int wait_ms, std::function<void()> on_end, FILE* out) {
  auto t = std::make_unique<NetcatTransfer>();
  t->out = out;
  t->wait_ms = wait_ms;
  t->on_end = std::move(on_end);
  sockaddr_in addr = local;
  addr.sin_family = AF_INET;
  addr.sin_port = 0;  // the system chooses a free port
  t->server.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!t->server) {
    std::fputs("Cannot create server socket, aborting.\n", out);
    return -1;
  }
  if (::bind(t->server.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::fputs("Cannot bind server socket, aborting.\n", out);
    return -1;
  }
  if (::listen(t->server.get(), 1) != 0) {
    std::fputs("Cannot set server socket to LISTEN state, aborting.\n", out);
    return -1;
  }
  sockaddr_in bound{};
  socklen_t len = sizeof bound;
  if (::getsockname(t->server.get(), reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
    std::fputs("Cannot get local address, aborting.\n", out);
    return -1;
  }
  char host[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &bound.sin_addr, host, sizeof host);
  std::string channel_url =
      "netcat://" + std::string(host) + ":" + std::to_string(ntohs(bound.sin_port));
  // Without waiting: opening a FIFO would otherwise block until a writer comes.
  t->file.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!t->file || ::fstat(t->file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(out, "Cannot open file (%s), aborting.\n", path.c_str());
    return -1;
  }
  t->file_size = static_cast<uint64_t>(st.st_size);
  uint64_t file_size = t->file_size;
  // Announced before the thread starts, so that what the thread prints comes after it.
  std::fprintf(out, "Sending file (%s, %llu bytes) via netcat (%s)...\n", path.c_str(),
               static_cast<unsigned long long>(file_size), channel_url.c_str());
  try {
    SignalsBlocked quiet;
    std::thread([t = std::move(t)]() mutable { netcat_sender(std::move(t)); }).detach();
  } catch (const std::system_error&) {
    // The record went with the thread object that was never started.
    std::fputs("Cannot start the sending thread, aborting.\n", out);
    return -1;
  }
  url = std::move(channel_url);
  size = file_size;
  return 0;
}
