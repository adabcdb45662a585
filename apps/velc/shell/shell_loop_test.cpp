#include "shell/shell_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct WordsCase {
  const char* line;
  std::vector<std::string> words;
};

class ShellLineWords : public testing::TestWithParam<WordsCase> {};

TEST_P(ShellLineWords, SplitsLine) {
  const WordsCase& c = GetParam();
  k::Json words = shell_line_words(c.line);
  std::vector<std::string> got;
  size_t i;
  json_t* v;
  json_array_foreach(words.get(), i, v) got.emplace_back(json_string_value(v));
  EXPECT_EQ(got, c.words) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ShellLineWords,
    testing::Values(
        // After "lua " the text is one argument, quotes and "#" untouched.
        WordsCase{"lua print(\"a b\") -- x # y", {"lua", "print(\"a b\") -- x # y"}},
        WordsCase{"lua  'q'", {"lua", " 'q'"}},
        WordsCase{"lua", {"lua"}},  // enters the Lua shell
        WordsCase{"luarecord f.lua", {"luarecord", "f.lua"}},
        WordsCase{" lua 'a b'", {"lua", "a b"}},  // not at the start: tokenized
        WordsCase{"cat \"Device.DeviceInfo\" # comment", {"cat", "Device.DeviceInfo"}}));

}  // namespace
