#include "shell/tokenizer.h"

#include <gtest/gtest.h>

namespace {

// The words of each line and, with a cursor, the number of words finished before it.
TEST(Tokenize, SplitsAndCounts) {
  // The line, its words, the cursor (-1: none, and the count is left alone), the count.
  const struct { const char* line; std::vector<std::string> words; int cursor = -1; int count = -7; } cases[] = {
      {"set a=\"x y\"", {"set", "a=x y"}}, {"\\' \\\" \\# \\\\", {"'", "\"", "#", "\\"}},  // what an escape protects
      {"\\b a\\", {"\\b", "a\\"}},  // before anything else, or at the end, it stays
      {"a\\ b", {"a\\", "b"}},      // and it does not protect a blank
      {"a#b c", {"a"}}, {"\"a#b\" 'c#d'", {"a#b", "c#d"}}, {"a # note\nb", {"a", "b"}},
      {"a # note\\\nb", {"a"}},  // an escaped newline continues the comment
      {"'say \"hi\"' \"it's\"", {"say \"hi\"", "it's"}}, {"\"a\\\"b\" 'c\\'d' \"a\\nb\"", {"a\"b", "c'd", "a\\nb"}},
      {"cd \"open end", {"cd", "open end"}}, {"pre\"mid dle\"post a \"\" ''", {"premid dlepost", "a"}},
      {"  a\tb\vc\fd\re\nf  ", {"a", "b", "c", "d", "e", "f"}},
      {"a \xff b", {"a", "b"}},  // a word that is not UTF-8 is left out
      {"", {}, 0, 0}, {"cd Dev", {"cd", "Dev"}, 6, 1}, {"cd Dev ", {"cd", "Dev"}, 7, 2},
      {"a b c", {"a", "b", "c"}, 3, 1},  // the blank at the cursor is not before it
      {"set \"a b\" c", {"set", "a b", "c"}, 11, 2}, {"ls#x", {"ls"}, 4, 1},
  };
  for (const auto& c : cases) {
    int count = -7;
    k::Json words = tokenize_line(c.line, c.cursor, &count);
    ASSERT_TRUE(words);
    std::vector<std::string> got;
    for (size_t i = 0; i < json_array_size(words.get()); ++i)
      got.emplace_back(json_string_value(json_array_get(words.get(), i)), json_string_length(json_array_get(words.get(), i)));
    EXPECT_EQ(got, c.words) << c.line;
    EXPECT_EQ(count, c.count) << "'" << c.line << "' at " << c.cursor;
  }
  EXPECT_FALSE(tokenize_line(nullptr));
}

}  // namespace
