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

TEST(CommandRows, HelpListsExactlyTheCommandsThatRun) {
  std::istringstream out(output_of([] { help_print(velc_commands(), k::ColourTable{}, stdout); }));
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
  std::set<std::string> with_usage;
  for (const CommandEntry& e : velc_commands()) {
    ASSERT_TRUE(e.handler) << e.name;
    if (e.usage) with_usage.insert(e.name);
  }
  EXPECT_EQ(listed, with_usage);
  EXPECT_FALSE(listed.count("debug"));
  EXPECT_TRUE(command_find_request(velc_commands(), "debug"));  // hidden, yet dispatched
}

TEST(CommandRows, RowsOtherPartsGoBy) {
  // The method's name selects attr; attr and info share both handlers, which differ: request
  // mode sends the paths as typed.
  const CommandEntry* attr = command_find_request(velc_commands(), "GetParameterAttributes");
  const CommandEntry* info = command_find(velc_commands(), "info");
  ASSERT_TRUE(attr && info);
  EXPECT_STREQ(attr->name, "attr");
  EXPECT_EQ(attr->handler, info->handler);
  EXPECT_EQ(attr->request_handler, info->request_handler);
  EXPECT_NE(attr->handler, attr->request_handler);
  // `record` and `luarecord` run in the shell only; a line that may carry a password never
  // reaches the history.
  for (const char* word : {"record", "luarecord"}) {
    ASSERT_TRUE(command_find(velc_commands(), word)) << word;
    EXPECT_FALSE(command_find_request(velc_commands(), word)) << word;
  }
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
