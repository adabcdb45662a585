// velc's own table: `help` lists exactly the commands that run.
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
  for (std::string line; std::getline(out, line);) {
    EXPECT_EQ(line.substr(28, 3), " - ") << line;  // padded to "ls [-l] [<path1> <path2>...]"
    listed.insert(line.substr(0, line.find(' ')));
  }
  std::set<std::string> with_handler;
  for (const CommandEntry& e : velc_commands()) {
    ASSERT_TRUE(e.handler) << e.name;
    ASSERT_NE(e.id, 0u) << e.name;
    with_handler.insert(e.name);
  }
  EXPECT_EQ(listed, with_handler);
  EXPECT_EQ(listed, (std::set<std::string>{"add", "cat", "catree", "cd", "clear", "color", "del",
                                           "get", "help", "ls", "order", "pwd", "rm", "set",
                                           "take", "touch", "tree", "up"}));
}

}  // namespace
