// The password prompt: what it prints and what it reads; and the password file, refused unless
// it is its owner's alone.
#include "platform/password_prompt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

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

TEST(PasswordFile, OnlyTheOwnersOwnFileGivesItsFirstLine) {
  struct Case {
    const char* name;
    const char* text;
    mode_t mode;
    std::optional<std::string> password;
    const char* why;
  };
  const Case cases[] = {
      {"first line", "secret\nnext\n", 0400, "secret", ""},
      {"group may read", "secret\n", 0640, std::nullopt, "others may read it"},
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
