// velc's own table: `help` lists exactly the commands that run, except `debug`.
#include "app/command_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/stdout_capture.h"
#include "shell/command_table.h"
#include "shell/completion.h"
#include "shell/help.h"

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
  std::set<std::string> with_handler;
  for (const CommandEntry& e : velc_commands()) {
    ASSERT_TRUE(e.handler) << e.name;
    ASSERT_NE(e.id, 0u) << e.name;
    if (e.usage) with_handler.insert(e.name);
  }
  EXPECT_EQ(listed, with_handler);
  EXPECT_EQ(listed, (std::set<std::string>{"add", "attr", "cat", "catree", "cd", "clear", "color",
                                           "del", "download", "execute", "get", "help", "info",
                                           "login", "login_if_guest", "logout", "ls", "lua",
                                           "luarecord", "opt", "order", "pwd", "reboot", "record",
                                           "reset", "rm", "save", "select", "set", "sh", "take",
                                           "touch", "tree", "up", "upgrade"}));
}

// Rows whose number, method or request handler other parts of velc go by.
TEST(CommandRows, AttributesAndMethodsRows) {
  const struct {
    const char* word;
    uint32_t id;
    const char* method;
  } cases[] = {
      {"attr", 15, "GetParameterAttributes"},
      {"info", 15, "GetParameterAttributes"},
      {"execute", 12, nullptr},
      {"lua", 22, "lua"},
      {"download", 9, "Download"},
      {"Download", 9, "Download"},
      {"upgrade", 40, nullptr},
  };
  for (const auto& c : cases) {
    const CommandEntry* e = command_find_request(velc_commands(), c.word);
    ASSERT_TRUE(e) << c.word;
    EXPECT_EQ(e->id, c.id) << c.word;
    EXPECT_STREQ(e->method, c.method) << c.word;
  }
  // The method's name selects attr; attr and info share both handlers, which differ: request
  // mode sends the paths as typed.
  const CommandEntry* attr = command_find_request(velc_commands(), "GetParameterAttributes");
  const CommandEntry* info = command_find(velc_commands(), "info");
  ASSERT_TRUE(attr && info);
  EXPECT_STREQ(attr->name, "attr");
  EXPECT_EQ(attr->handler, info->handler);
  EXPECT_EQ(attr->request_handler, info->request_handler);
  EXPECT_NE(attr->handler, attr->request_handler);
}

// What Tab offers for each command's arguments; every row not named here offers nothing.
TEST(CommandRows, CompletionRules) {
  using enum CompletionKind;
  const std::map<std::string, CompletionKind> kinds = {
      {"add", kObjectPath},    {"touch", kObjectPath}, {"cd", kObjectPath},
      {"take", kObjectPath},   {"tree", kObjectPath},  {"attr", kPath},
      {"info", kPath},         {"cat", kPath},         {"get", kPath},
      {"catree", kPath},       {"del", kPath},         {"rm", kPath},
      {"ls", kPath},           {"select", kPath},      {"set", kWritablePath},
      {"order", kFirstPath},   {"execute", kMethodInput}, {"color", kColourType},
      {"debug", kDebugMode},   {"opt", kOption},       {"reboot", kReboot},
      {"reset", kDeviceMode},  {"sh", kCommand},      {"record", kRecord},
      {"luarecord", kRecord},  {"download", kDownload}, {"upgrade", kFile},
  };
  for (const CommandEntry& e : velc_commands()) {
    auto kind = kinds.find(e.name);
    EXPECT_EQ(e.completion, kind == kinds.end() ? kNone : kind->second) << e.name;
  }
}

// `record` and `luarecord` run in the shell only: request mode and script files answer them as
// unknown.
TEST(CommandRows, RecordIsShellOnly) {
  for (auto [word, id] : {std::pair{"record", 29u}, std::pair{"luarecord", 23u}}) {
    const CommandEntry* e = command_find(velc_commands(), word);
    ASSERT_TRUE(e) << word;
    EXPECT_EQ(e->id, id) << word;
    EXPECT_FALSE(e->request_handler) << word;
    EXPECT_FALSE(command_find_request(velc_commands(), word)) << word;
  }
}

// `debug` is left out of help, yet runs like any other command, in the shell and in request mode.
TEST(CommandRows, DebugIsHiddenButDispatched) {
  const CommandEntry* shell = command_find(velc_commands(), "debug");
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->id, 8u);
  EXPECT_FALSE(shell->description);
  EXPECT_TRUE(command_find_request(velc_commands(), "debug"));
}

// The first word offers the names in the table's order, `debug` among them.
TEST(CommandRows, FirstWordCompletionFollowsTheTable) {
  Session session;
  DataModelView view;
  k::ColourTable colours;
  k::EditorSwitches editor;
  Client client{{session, view, colours}, editor};
  using Strings = std::vector<std::string>;
  EXPECT_EQ(complete_line(velc_commands(), client, "d", 1), (Strings{"debug", "del", "download"}));
  EXPECT_EQ(complete_line(velc_commands(), client, "u", 1), (Strings{"up", "upgrade"}));
  EXPECT_EQ(complete_line(velc_commands(), client, "lo", 2),
            (Strings{"login", "logout", "login_if_guest"}));
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
