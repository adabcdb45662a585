#include "harness/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace e2e {

namespace {

// Long enough for a loaded machine running a sanitizer build; a passing test never waits it out.
constexpr auto kDeadline = std::chrono::seconds(60);

}  // namespace

Pty::Pty(const std::string& program, const std::vector<std::string>& args,
         const std::vector<std::string>& env) {
  winsize ws{24, 80, 0, 0};  // rows, columns
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  words = command(std::move(words));
  pid_ = forkpty(&master_, nullptr, nullptr, &ws);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) {
    setenv("TERM", "xterm", 1);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
  if (status_ < 0 && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

bool Pty::pump(int ms) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return true;
  // At most 64 KiB a call: the caller looks at the screen between reads, so a program that
  // prints without a pause is answered (a Ctrl-C typed) while it prints, not after it finished.
  char buf[4096];
  for (int reads = 0; reads < 16; ++reads) {
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);  // EIO: the program's side closed
    raw_.append(buf, static_cast<size_t>(n));
  }
  return true;
}

void Pty::type(const std::string& text) {
  // The texts typed are short: the terminal takes them whole.
  if (write(master_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    throw std::runtime_error("typing failed");
}

bool Pty::wait_until(const std::function<bool(const std::string& screen)>& done) {
  auto end = std::chrono::steady_clock::now() + kDeadline;
  for (;;) {
    if (done(text())) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    if (!pump(50)) return done(text());
  }
}

bool Pty::wait_for(const std::string& wanted, size_t from) {
  return wait_until([&](const std::string& screen) {
    return screen.size() >= from && screen.find(wanted, from) != std::string::npos;
  });
}

bool Pty::type_until(const std::string& keys, const std::string& wanted) {
  size_t from = mark();
  type(keys);
  return wait_for(wanted, from);
}

size_t Pty::mark() {
  pump(0);
  return text().size();
}

std::string Pty::text() const {
  std::string out;
  for (size_t i = 0; i < raw_.size(); ++i) {
    if (raw_[i] == '\033' && i + 1 < raw_.size() && raw_[i + 1] == '[') {
      // CSI: parameters up to one final byte in @..~.
      for (i += 2; i < raw_.size() && !(raw_[i] >= '@' && raw_[i] <= '~');) ++i;
    } else if (raw_[i] == '\033') {
      ++i;  // any other escape is two bytes long
    } else if (raw_[i] != '\r') {
      out.push_back(raw_[i]);
    }
  }
  return out;
}

int Pty::wait_exit() {
  auto end = std::chrono::steady_clock::now() + kDeadline;
  while (status_ < 0) {
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      status_ = st;
    } else {
      if (std::chrono::steady_clock::now() >= end) kill(pid_, SIGKILL);
      if (!pump(50)) usleep(10000);  // the terminal is closed: the program is ending
    }
  }
  pump(0);
  return WIFSIGNALED(status_) ? 128 + WTERMSIG(status_) : WEXITSTATUS(status_);
}

std::string last_line(const std::string& screen) {
  return screen.substr(screen.rfind('\n') + 1);  // npos + 1: the whole screen
}

bool ends_with_prompt(const std::string& screen) {
  std::string line = last_line(screen);
  return line.ends_with("> ") && line.find("velc") != std::string::npos;
}

Shell::Shell(const Emulator& sim, std::vector<std::string> args, std::string history,
             bool colours, std::vector<std::string> env)
    : history_(history.empty() ? home_.file("history") : history) {
  args.insert(args.begin(), {"-u", sim.socket()});
  env.insert(env.end(), {"HOME=" + home_.path(), "VELC_HISTFILE=" + history_,
                         "VELC_LUA_HISTFILE=" + home_.file("lua-history"),
                         colours ? "NO_COLOR" : "NO_COLOR=1"});
  pty_ = std::make_unique<Pty>(bin_dir() + "/velc", args, env);
  EXPECT_TRUE(pty_->wait_until(ends_with_prompt)) << pty_->text();
}

std::string Shell::run(const std::string& line) {
  std::string screen = keys(line + "\r");
  size_t at = screen.find(line + "\n");
  EXPECT_NE(at, std::string::npos) << "no echo of '" << line << "':\n" << screen;
  std::string out = at == std::string::npos ? "" : screen.substr(at + line.size() + 1);
  return out.substr(0, out.rfind('\n') + 1);
}

std::string Shell::keys(const std::string& keys) {
  size_t from = pty_->mark();
  pty_->type(keys);
  EXPECT_TRUE(pty_->wait_until([&](const std::string& s) { return s.size() > from && ends_with_prompt(s.substr(from)); }))
      << "no prompt after keys '" << keys << "':\n" << pty_->text();
  return pty_->text().substr(from);
}

void Shell::quit(const std::string& keys) {
  pty_->type(keys);
  EXPECT_EQ(pty_->wait_exit(), 0) << pty_->text();
}

}  // namespace e2e
