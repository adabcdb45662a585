// sh: the words become one command line of the system's shell.
#include "shell/system_shell.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "datamodel/test_support.h"
#include "render/test_drain.h"
#include "shell/test_client.h"
#include "testing/stdin_feed.h"

namespace {

using testing_support::args;

std::string read_file(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Each word is followed by a blank and nothing is quoted: the shell reads its own syntax in them.
TEST(ShCommand, RunsTheWordsAsOneCommandLine) {
  k::test::TempDir dir;
  std::string file = dir.file("out");
  testing_support::ShellTestClient t;
  k::Json words = args({"printf", "'<%s>'", "ls", "-l", ">", file.c_str()});
  StdoutCapture out;
  EXPECT_EQ(cmd_sh(t.shell, "sh", words.get()), 0);
  EXPECT_EQ(out.finish(), "");
  EXPECT_EQ(read_file(file), "<ls><-l>");

  // The command's output comes after what velc printed before it; its status is not looked at.
  k::Json echo = args({"echo", "hello", "  ", "world;", "exit", "3"});
  EXPECT_EQ(output_of([&] {
              std::printf("before\n");
              EXPECT_EQ(cmd_sh(t.shell, "sh", echo.get()), 0);
            }),
            "before\nhello world\n");
  // Given a stream of its own (the configuration script's), the program writes there.
  TestStream stream;
  t.shell.out = stream.file;
  EXPECT_EQ(output_of([&] { cmd_sh(t.shell, "sh", echo.get()); }), "");
  EXPECT_EQ(stream.text(), "hello world\n");
}

TEST(ShCommand, WithoutWordsAnInteractiveShellReadsTheKeyboard) {
  k::test::TempDir dir;
  std::string file = dir.file("typed");
  testing_support::ShellTestClient t;
  StdinFeed keyboard("echo typed > " + file + "\n");
  k::Json none = args({});
  EXPECT_EQ(cmd_sh(t.shell, "sh", none.get()), 0);
  EXPECT_EQ(read_file(file), "typed\n");
}

}  // namespace
