#include "shell/command_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell_test_support.h"

namespace {

using shell_test::args_of;
using shell_test::output_of;

struct LookupCase {
  const char* word;
  const char* row;  // the name of the row found, or null for none
};

class CommandFind : public testing::TestWithParam<LookupCase> {};

TEST_P(CommandFind, FindsRow) {
  const LookupCase& c = GetParam();
  const CommandEntry* e = command_find(c.word);
  if (!c.row) {
    EXPECT_EQ(e, nullptr) << c.word;
    return;
  }
  ASSERT_NE(e, nullptr) << c.word;
  EXPECT_STREQ(e->name, c.row);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CommandFind,
    testing::Values(LookupCase{"?", "help"}, LookupCase{"help", "help"},
                    LookupCase{"GetParameterValues", "cat"},  // the first row of the method
                    LookupCase{"get", "get"}, LookupCase{"AddObject", "add"},
                    LookupCase{"touch", "touch"}, LookupCase{"DeleteObject", "del"},
                    LookupCase{"GetParameterNames", "ls"}, LookupCase{"LS", nullptr},
                    LookupCase{"Cd", nullptr}, LookupCase{"", nullptr},
                    LookupCase{"nosuch", nullptr}, LookupCase{"c", nullptr}));

TEST(CommandFind, MissingWordGivesNone) { EXPECT_EQ(command_find(nullptr), nullptr); }

TEST(CommandFind, RowWithoutHandlerIsNotFound) {
  // Every row has an id; one without a handler stands for a command the shell cannot run.
  for (const CommandEntry& e : command_table) {
    if (!e.handler) {
      EXPECT_EQ(command_find(e.name), nullptr) << e.name;
    }
  }
}

TEST(CommandFindRequest, RefusesShellOnlyWords) {
  for (const char* word : {"cd", "?", "help", "pwd", "up", "tree", "catree", "clear", "color", "opt"})
    EXPECT_EQ(command_find_request(word), nullptr) << word;
  const CommandEntry* e = command_find_request("GetParameterValues");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "cat");
}

TEST(CommandDispatch, UnknownWordIsReported) {
  int status = 0;
  k::Json args = args_of({"x"});
  EXPECT_EQ(output_of([&] { return command_dispatch("LS", args.get()); }, &status),
            "LS: command not found.\n");
  EXPECT_EQ(status, -1);
}

TEST(CommandDispatch, QuestionMarkRunsHelp) {
  k::Json args = args_of({});
  std::string via_mark = output_of([&] { return command_dispatch("?", args.get()); });
  std::string via_help = output_of([&] { return command_dispatch("help", args.get()); });
  EXPECT_FALSE(via_mark.empty());
  EXPECT_EQ(via_mark, via_help);
}

TEST(RequestDispatch, ShellOnlyWordIsAnUnknownMethod) {
  k::Json args = args_of({"Device"});
  for (const char* word : {"cd", "?"}) {
    int status = 0;
    EXPECT_EQ(output_of([&] { return request_dispatch(word, args.get()); }, &status),
              std::string(word) + ": unknown method.\n");
    EXPECT_EQ(status, -1);
  }
}

std::vector<std::string> complete_names(const char* prefix) {
  k::Json out = k::Json::take(json_array());
  command_complete_names(prefix, out.get());
  std::vector<std::string> names;
  size_t i;
  json_t* v;
  json_array_foreach(out.get(), i, v) names.emplace_back(json_string_value(v));
  return names;
}

TEST(CommandCompleteNames, TableOrderWithoutMethods) {
  EXPECT_EQ(complete_names("re"), (std::vector<std::string>{"reboot", "reset", "record"}));
  EXPECT_EQ(complete_names("lo"), (std::vector<std::string>{"login", "logout", "login_if_guest"}));
  EXPECT_TRUE(complete_names("Get").empty());
  std::vector<std::string> all = complete_names(nullptr);
  ASSERT_EQ(all.size(), kCommandCount);
  EXPECT_EQ(all.front(), "add");
  EXPECT_EQ(all.back(), "execute");
  EXPECT_EQ(complete_names(""), all);
}

}  // namespace
