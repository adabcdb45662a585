// The password prompt from a pipe: what it prints and what it reads (on a terminal, and the
// password file, are seen end to end).
#include "platform/password_prompt.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/stdin_feed.h"
#include "testing/stdout_capture.h"

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

}  // namespace
