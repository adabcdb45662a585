#include "shell/command_table.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/shell_test_support.h"

namespace {

struct LookupCase {
  const char* word;
  const char* shell_row;    // the row the shell finds, or null
  const char* request_row;  // the row request mode finds, or null
};

class CommandLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(CommandLookup, FindsRow) {
  const LookupCase& c = GetParam();
  const CommandEntry* shell = command_find(c.word);
  const CommandEntry* request = command_find_request(c.word);
  EXPECT_STREQ(shell ? shell->name : nullptr, c.shell_row) << c.word;
  EXPECT_STREQ(request ? request->name : nullptr, c.request_row) << c.word;
}

INSTANTIATE_TEST_SUITE_P(
    Words, CommandLookup,
    testing::Values(LookupCase{"?", "help", nullptr}, LookupCase{"help", "help", nullptr},
                    LookupCase{"cd", "cd", nullptr},
                    LookupCase{"GetParameterValues", "cat", "cat"},  // the method's first row
                    LookupCase{"DeleteObject", "del", "del"}, LookupCase{"touch", "touch", "touch"},
                    LookupCase{"attr", nullptr, nullptr},  // rows without handler
                    LookupCase{"GetParameterAttributes", nullptr, nullptr},
                    LookupCase{"debug", nullptr, nullptr}, LookupCase{"LS", nullptr, nullptr},
                    LookupCase{"Cd", nullptr, nullptr}, LookupCase{"c", nullptr, nullptr},
                    LookupCase{"", nullptr, nullptr}));

TEST(CommandDispatch, UnknownWordsAreReported) {
  struct {
    int (*dispatch)(const char*, json_t*);
    const char* word;
    const char* text;
  } cases[] = {{command_dispatch, "LS", "LS: command not found.\n"},
               {request_dispatch, "cd", "cd: unknown method.\n"},
               {request_dispatch, "?", "?: unknown method.\n"}};
  k::Json args = shell_test::args_of({"Device"});
  for (const auto& c : cases) {
    int status = 0;
    EXPECT_EQ(shell_test::output_of([&] { return c.dispatch(c.word, args.get()); }, &status),
              c.text);
    EXPECT_EQ(status, -1) << c.word;
  }
}

}  // namespace
