#include "shell/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TokenCase {
  const char* line;
  std::vector<std::string> words;
  int cursor = -1;  // -1: no cursor, and the count is left alone
  int count = -7;   // the words finished before the cursor
};

class Tokenize : public testing::TestWithParam<TokenCase> {};

TEST_P(Tokenize, SplitsAndCounts) {
  const TokenCase& c = GetParam();
  int count = -7;
  k::Json words = tokenize_line(c.line, c.cursor, &count);
  ASSERT_TRUE(words);
  std::vector<std::string> got;
  size_t i;
  json_t* v;
  json_array_foreach(words.get(), i, v)
      got.emplace_back(json_string_value(v), json_string_length(v));
  EXPECT_EQ(got, c.words) << c.line;
  EXPECT_EQ(count, c.count) << "'" << c.line << "' at " << c.cursor;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Tokenize,
    testing::Values(
        TokenCase{"set a=\"x y\"", {"set", "a=x y"}},
        TokenCase{"\\' \\\" \\# \\\\", {"'", "\"", "#", "\\"}},  // what an escape protects
        TokenCase{"\\b a\\", {"\\b", "a\\"}},  // before anything else, or at the end, it stays
        TokenCase{"a\\ b", {"a\\", "b"}},      // and it does not protect a blank
        TokenCase{"ls # list it", {"ls"}}, TokenCase{"a#b c", {"a"}},
        TokenCase{"\"a#b\" 'c#d'", {"a#b", "c#d"}}, TokenCase{"a # note\nb", {"a", "b"}},
        TokenCase{"a # note\\\nb", {"a"}},  // an escaped newline continues the comment
        TokenCase{"a # note\\", {"a"}}, TokenCase{"'say \"hi\"' \"it's\"", {"say \"hi\"", "it's"}},
        TokenCase{"\"a\\\"b\" 'c\\'d' \"a\\nb\"", {"a\"b", "c'd", "a\\nb"}},
        TokenCase{"cd \"open end", {"cd", "open end"}},
        TokenCase{"pre\"mid dle\"post a \"\" ''", {"premid dlepost", "a"}},
        TokenCase{"  a\tb\vc\fd\re\nf  ", {"a", "b", "c", "d", "e", "f"}},
        TokenCase{"a \xff b", {"a", "b"}},  // a word that is not UTF-8 is left out
        TokenCase{"", {}, 0, 0}, TokenCase{"cd Dev", {"cd", "Dev"}, 6, 1},
        TokenCase{"cd Dev ", {"cd", "Dev"}, 7, 2}, TokenCase{"   cd    Dev", {"cd", "Dev"}, 12, 1},
        TokenCase{"a b c", {"a", "b", "c"}, 3, 1},  // the blank at the cursor is not before it
        TokenCase{"set \"a b\" c", {"set", "a b", "c"}, 11, 2}, TokenCase{"ls#x", {"ls"}, 4, 1}));

TEST(Tokenize, NoLineGivesNone) { EXPECT_FALSE(tokenize_line(nullptr)); }

}  // namespace

// Each word's place in the line covers its quotes and backslashes; blanks and comments are no
// word.
TEST(Tokenize, WordSpans) {
  const std::string line = "  ab \"c d\"e\\#f # g";
  std::vector<std::string> places;
  for (const WordSpan& w : split_word_spans(line))
    places.push_back(w.text + "=" + line.substr(w.begin, w.end - w.begin));
  EXPECT_EQ(places, (std::vector<std::string>{"ab=ab", "c de#f=\"c d\"e\\#f"}));
}
