// sh: the words become one command line of the system's shell.
#include "shell/system_shell.h"

#include <gtest/gtest.h>

#include "shell/test_client.h"
#include "testing/stdin_feed.h"

namespace {

using testing_support::args;

// Each word is followed by a blank and nothing is quoted: the shell reads its own syntax in them.
// The command's output comes after what velc printed before it, on the context's stream; its
// status is not looked at. Without words an interactive shell reads the keyboard.
TEST(ShCommand, RunsTheWordsAsOneCommandLine) {
  testing_support::ShellTestClient t;
  std::fprintf(t.shell.out, "before\n");
  EXPECT_EQ(t.run(cmd_sh, "sh", {"echo", "hello", "  ", "world;", "exit", "3"}), "0 before\nhello world\n");
  EXPECT_EQ(t.run(cmd_sh, "sh", {"printf", "'<%s>'", "ls", "-l"}), "0 <ls><-l>");
  StdinFeed keyboard("echo typed\n");
  EXPECT_EQ(t.run(cmd_sh, "sh", {}), "0 typed\n");
}

}  // namespace
