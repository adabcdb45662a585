// velc's own table: `help` lists exactly the commands that run.
#include "app/command_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "platform/stdout_capture.h"
#include "shell/command_table.h"
#include "shell/help.h"

namespace {

TEST(CommandRows, HelpListsExactlyTheCommandsThatRun) {
  std::istringstream out(output_of([] { help_print(velc_commands(), k::ColourTable{}); }));
  // Usages are padded to the longest one.
  size_t width = 0;
  for (const CommandEntry& e : velc_commands())
    if (e.usage && e.description) width = std::max(width, std::strlen(e.usage));
  std::set<std::string> listed;
  for (std::string line; std::getline(out, line);) {
    EXPECT_EQ(line.substr(width, 3), " - ") << line;
    listed.insert(line.substr(0, line.find(' ')));
  }
  std::set<std::string> with_handler;
  for (const CommandEntry& e : velc_commands()) {
    ASSERT_TRUE(e.handler) << e.name;
    ASSERT_NE(e.id, 0u) << e.name;
    with_handler.insert(e.name);
  }
  EXPECT_EQ(listed, with_handler);
  EXPECT_EQ(listed, (std::set<std::string>{"add", "attr", "cat", "catree", "cd", "clear", "color",
                                           "del", "execute", "get", "help", "info", "ls", "order",
                                           "pwd", "rm", "set", "take", "touch", "tree", "up"}));
}

// Rows whose number, method, request handler or completion rule other parts of velc go by.
TEST(CommandRows, AttributesAndMethodsRows) {
  const struct {
    const char* word;
    uint32_t id;
    const char* method;
    CompletionKind completion;
  } cases[] = {
      {"attr", 15, "GetParameterAttributes", CompletionKind::kPath},
      {"info", 15, "GetParameterAttributes", CompletionKind::kPath},
      {"execute", 12, nullptr, CompletionKind::kMethodInput},
  };
  for (const auto& c : cases) {
    const CommandEntry* e = command_find_request(velc_commands(), c.word);
    ASSERT_TRUE(e) << c.word;
    EXPECT_EQ(e->id, c.id) << c.word;
    EXPECT_STREQ(e->method, c.method) << c.word;
    EXPECT_EQ(e->completion, c.completion) << c.word;
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

}  // namespace
