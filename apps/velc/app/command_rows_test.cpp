// velc's own table: `help` lists exactly the commands that run, except `debug`.
#include "app/command_rows.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "platform/stdout_capture.h"
#include "shell/help.h"

namespace {

TEST(CommandRows, HelpListsExactlyTheCommandsThatRun) {
  std::istringstream out(output_of([] { help_print(velc_commands(), k::ColourTable{}); }));
  std::set<std::string> listed;
  size_t column = std::string::npos;
  bool unpadded = false;  // the longest usage sets the column: it is followed by " - " at once
  for (std::string line; std::getline(out, line);) {
    size_t dash = line.find(" - ");
    if (column == std::string::npos) column = dash;
    EXPECT_EQ(dash, column) << line;
    unpadded = unpadded || line[dash - 1] != ' ';
    listed.insert(line.substr(0, line.find(' ')));
  }
  EXPECT_TRUE(unpadded);
  std::set<std::string> with_handler;
  for (const CommandEntry& e : velc_commands()) {
    ASSERT_TRUE(e.handler) << e.name;
    ASSERT_NE(e.id, 0u) << e.name;
    if (e.usage) with_handler.insert(e.name);
  }
  EXPECT_EQ(listed, with_handler);
  EXPECT_EQ(listed, (std::set<std::string>{"add", "cat", "catree", "cd", "clear", "color", "del",
                                           "get", "help", "login", "login_if_guest", "logout",
                                           "ls", "order", "pwd", "reboot", "reset", "rm", "save",
                                           "select", "set", "sh", "take", "touch", "tree",
                                           "up"}));
}

// `debug` is left out of help, yet runs like any other command, in the shell and in request mode.
TEST(CommandRows, DebugIsHiddenButDispatched) {
  const CommandEntry* shell = command_find(velc_commands(), "debug");
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->id, 8u);
  EXPECT_FALSE(shell->description);
  EXPECT_TRUE(command_find_request(velc_commands(), "debug"));
}

// A line that may carry a password never reaches the history.
TEST(CommandRows, LinesWithPasswordsAreSensitive) {
  for (const char* word : {"login", "login_if_guest"}) {
    const CommandEntry* e = command_find(velc_commands(), word);
    ASSERT_TRUE(e) << word;
    EXPECT_TRUE(e->sensitive) << word;
  }
}

}  // namespace
