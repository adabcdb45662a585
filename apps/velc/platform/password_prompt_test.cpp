// The password prompt: what it prints, what it reads, and that the terminal's echo is off only
// while it reads; and the password file, refused unless it is its owner's alone.
#include "platform/password_prompt.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "testing/stdin_feed.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

namespace {

TEST(PasswordPrompt, ReadsOneLineFromAPipe) {
  const struct {
    const char* input;
    const char* password;
    const char* left;  // not read: the lines after the password stay for whoever reads next
  } cases[] = {
      {"first\nsecond\n", "first", "second\n"},
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

TEST(PasswordFile, OnlyTheOwnersOwnFileGivesItsFirstLine) {
  struct Case {
    const char* name;
    const char* text;
    mode_t mode;
    std::optional<std::string> password;
    const char* why;
  };
  const Case cases[] = {
      {"first line", "secret\nnext\n", 0600, "secret", ""},
      {"empty", "", 0600, "", ""},
      {"group may read", "secret\n", 0640, std::nullopt, "others may read it"},
      {"others may write", "secret\n", 0602, std::nullopt, "others may write to it"},
  };
  k::test::TempDir dir;
  for (const auto& c : cases) {
    std::string path = dir.file(c.name);
    std::ofstream(path) << c.text;
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    std::string why;
    EXPECT_EQ(k::password_file_read(path, why), c.password) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
  std::string why;
  ASSERT_EQ(symlink(dir.file("first line").c_str(), dir.file("link").c_str()), 0);
  EXPECT_EQ(k::password_file_read(dir.file("link"), why), std::nullopt);
  EXPECT_EQ(why, "it is a symbolic link");
  if (geteuid() == 0) {  // only root can give a file away
    ASSERT_EQ(chown(dir.file("first line").c_str(), 65534, 65534), 0);
    EXPECT_EQ(k::password_file_read(dir.file("first line"), why), std::nullopt);
    EXPECT_EQ(why, "it is owned by another user");
  }
}

}  // namespace
