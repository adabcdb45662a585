// velc's own table: `help` lists exactly the commands that run, except `debug`; the rows other
// parts of velc go by behave as those parts expect.
#include "app/command_rows.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "shell/command_table.h"
#include "shell/completion.h"
#include "shell/help.h"
#include "testing/stdout_capture.h"

namespace {

TEST(CommandRows, HelpListsTheCommandsThatRunAndOtherPartsGoByTheRows) {
  std::istringstream out(output_of([] { help_print(velc_commands(), k::ColourTable{}, stdout); }));
  std::set<std::string> listed, with_usage;
  for (std::string line; std::getline(out, line);) listed.insert(line.substr(0, line.find(' ')));
  for (const CommandEntry& e : velc_commands())
    if (e.usage) with_usage.insert(e.name);
  EXPECT_EQ(listed, with_usage);
  EXPECT_FALSE(listed.count("debug"));
  EXPECT_TRUE(command_find_request(velc_commands(), "debug"));  // hidden, yet dispatched
  // `record` runs in the shell only; a line that may carry a password never reaches the history.
  EXPECT_FALSE(command_find_request(velc_commands(), "record"));
  for (const char* word : {"login", "login_if_guest"})
    EXPECT_TRUE(command_find(velc_commands(), word)->sensitive) << word;
  // The first word offers the names in the table's order, `debug` among them.
  Session session;
  DataModelView view;
  k::ColourTable colours;
  k::EditorSwitches editor;
  Client client{{session, view, colours}, editor};
  EXPECT_EQ(complete_line(velc_commands(), client, "d", 1),
            (std::vector<std::string>{"debug", "del", "download"}));
}

}  // namespace
