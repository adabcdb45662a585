// velc's own table: `help` lists exactly the commands that run, except `debug`; the rows the
// shell goes by behave as it expects.
#include "app/command_rows.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "shell/command_table.h"
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
}

}  // namespace
