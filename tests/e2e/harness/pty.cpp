#include "harness/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace e2e {

namespace {

// Long enough for a loaded machine running a sanitizer build; a passing test never waits it out.
constexpr auto kDeadline = std::chrono::seconds(60);

int exit_code(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::string screen_text(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\r') continue;
    if (c == '\001' || c == '\002') continue;
    if (c != '\033') {
      out.push_back(c);
      continue;
    }
    if (i + 1 >= raw.size()) break;
    char kind = raw[++i];
    if (kind == '[') {  // CSI: parameters, then one final byte in @..~
      while (i + 1 < raw.size() && !(raw[i + 1] >= '@' && raw[i + 1] <= '~')) ++i;
      ++i;
    } else if (kind == ']') {  // OSC: up to BEL or ESC backslash
      while (i + 1 < raw.size() && raw[i + 1] != '\a' && raw[i + 1] != '\033') ++i;
      ++i;
      if (i < raw.size() && raw[i] == '\033') ++i;
    }
    // Any other escape is two bytes long.
  }
  return out;
}

Pty::Pty(const std::string& program, const std::vector<std::string>& args,
         const std::vector<std::string>& env, int rows, int cols) {
  winsize ws{};
  ws.ws_row = static_cast<unsigned short>(rows);
  ws.ws_col = static_cast<unsigned short>(cols);
  pid_ = forkpty(&master_, nullptr, nullptr, &ws);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) {
    setenv("TERM", "xterm", 1);
    for (const std::string& e : env) {
      size_t eq = e.find('=');
      if (eq == std::string::npos)
        unsetenv(e.c_str());
      else
        setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
  if (status_ < 0 && pid_ > 0) {
    kill(pid_, SIGKILL);
    int st = 0;
    waitpid(pid_, &st, 0);
  }
  if (master_ >= 0) close(master_);
}

bool Pty::pump(int ms) {
  pollfd p{master_, POLLIN, 0};
  int r = poll(&p, 1, ms);
  if (r <= 0) return true;
  char buf[4096];
  for (;;) {
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      raw_.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    return false;  // EIO: every descriptor of the program's side is closed
  }
}

void Pty::type(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(master_, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pump(10);  // the program is not reading yet: keep its output flowing meanwhile
    } else {
      return;
    }
  }
}

bool Pty::wait_for(const std::string& wanted, size_t from) {
  return wait_until([&](const std::string& screen) {
    return screen.size() >= from && screen.find(wanted, from) != std::string::npos;
  });
}

bool Pty::wait_until(const std::function<bool(const std::string& screen)>& done) {
  auto end = std::chrono::steady_clock::now() + kDeadline;
  for (;;) {
    if (done(text())) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    if (!pump(50)) return done(text());
  }
}

size_t Pty::mark() {
  pump(0);
  return text().size();
}

const std::string& Pty::raw() {
  pump(0);
  return raw_;
}

std::string Pty::text() { return screen_text(raw_); }

void Pty::signal(int sig) {
  if (pid_ > 0 && status_ < 0) kill(pid_, sig);
}

int Pty::wait_exit() {
  if (status_ >= 0) return exit_code(status_);
  auto end = std::chrono::steady_clock::now() + kDeadline;
  for (;;) {
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = st;
      pump(0);
      return exit_code(st);
    }
    if (std::chrono::steady_clock::now() >= end) kill(pid_, SIGKILL);
    if (!pump(50)) {
      // The terminal is closed; the program is ending.
      usleep(10000);
    }
  }
}

}  // namespace e2e
