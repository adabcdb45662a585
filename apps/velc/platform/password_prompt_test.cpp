// The password prompt: what it prints, what it reads, and that the terminal's echo is off only
// while it reads.
#include "platform/password_prompt.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "platform/interrupt.h"
#include "platform/socket.h"
#include "platform/stdin_feed.h"
#include "platform/stdout_capture.h"

namespace {

TEST(PasswordPrompt, ReadsOneLineFromAPipe) {
  struct Case {
    const char* input;
    const char* password;
    const char* left;  // not read: the lines after the password stay for whoever reads next
  };
  const Case cases[] = {
      {"secret\n", "secret", ""},
      {" two words \n", " two words ", ""},
      {"first\nsecond\n", "first", "second\n"},
      {"no newline", "no newline", ""},
      {"\n", "", ""},
      {"", "", ""},  // the end of input is an empty password, not a failure
  };
  for (const auto& c : cases) {
    StdinFeed input(c.input);
    StdoutCapture out;
    EXPECT_EQ(k::password_prompt("[velc] password for admin: "), c.password) << c.input;
    EXPECT_EQ(out.finish(), "[velc] password for admin: \n") << c.input;
    EXPECT_EQ(input.rest(), c.left) << c.input;
  }
}

// A pseudo-terminal as standard input, for the echo.
class Terminal {
 public:
  Terminal() {
    master_ = k::Fd(posix_openpt(O_RDWR | O_NOCTTY));
    if (!master_ || grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0) return;
    slave_ = k::Fd(open(ptsname(master_.get()), O_RDWR | O_NOCTTY));
    saved_ = k::Fd(dup(STDIN_FILENO));
    dup2(slave_.get(), STDIN_FILENO);
  }
  ~Terminal() {
    if (saved_) dup2(saved_.get(), STDIN_FILENO);
  }
  bool ready() const { return bool(slave_); }
  bool echo() const {
    termios t{};
    tcgetattr(slave_.get(), &t);
    return t.c_lflag & ECHO;
  }
  // Waits until the prompt has switched the echo off (it then reads); gives up after a minute,
  // so that a prompt that never does fails the test instead of hanging it.
  void await_reading() const {
    for (int i = 0; i < 60000 && echo(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void type(const std::string& keys) const {
    k::write_all(master_.get(), keys.data(), keys.size());
  }
  // True when the terminal wrote something back (an echo).
  bool echoed() const {
    pollfd p{master_.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

 private:
  k::Fd master_, slave_, saved_;
};

TEST(PasswordPrompt, TheTerminalDoesNotEchoThePasswordAndEchoesAgainAfterwards) {
  Terminal terminal;
  ASSERT_TRUE(terminal.ready());
  ASSERT_TRUE(terminal.echo());
  std::thread user([&] {
    terminal.await_reading();
    terminal.type("hunter2\n");
  });
  StdoutCapture out;
  std::string password = k::password_prompt("[velc] password for current user: ");
  user.join();
  EXPECT_EQ(password, "hunter2");
  EXPECT_EQ(out.finish(), "[velc] password for current user: \n");
  EXPECT_FALSE(terminal.echoed());
  EXPECT_TRUE(terminal.echo());
}

TEST(PasswordPrompt, CtrlCEndsTheReadWithTheEchoBackOn) {
  Terminal terminal;
  ASSERT_TRUE(terminal.ready());
  std::thread user([&] {
    terminal.await_reading();
    kill(getpid(), SIGINT);  // the prompt's own handler takes it
  });
  StdoutCapture out;
  EXPECT_THROW(k::password_prompt("[velc] password for admin: "), k::Interrupted);
  user.join();
  EXPECT_EQ(out.finish(), "[velc] password for admin: ");
  EXPECT_TRUE(terminal.echo());
}

}  // namespace
