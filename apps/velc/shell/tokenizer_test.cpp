#include "shell/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> words_of(const k::Json& array) {
  std::vector<std::string> out;
  size_t i;
  json_t* v;
  json_array_foreach(array.get(), i, v) out.emplace_back(json_string_value(v), json_string_length(v));
  return out;
}

struct SplitCase {
  const char* name;
  const char* line;
  std::vector<std::string> words;
};

class TokenizeLine : public testing::TestWithParam<SplitCase> {};

TEST_P(TokenizeLine, Splits) {
  const SplitCase& c = GetParam();
  k::Json words = tokenize_line(c.line);
  ASSERT_TRUE(words);
  EXPECT_EQ(words_of(words), c.words) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TokenizeLine,
    testing::Values(
        SplitCase{"QuotedBlankStaysInWord", "set a=\"x y\"", {"set", "a=x y"}},
        SplitCase{"EscapedApostrophe", "\\'", {"'"}},
        SplitCase{"EscapedDoubleQuote", "\\\"", {"\""}},
        SplitCase{"EscapedHash", "\\#", {"#"}},
        SplitCase{"EscapedBackslash", "\\\\", {"\\"}},
        SplitCase{"BackslashBeforeOtherKeepsBoth", "\\b", {"\\b"}},
        SplitCase{"BackslashAtEndStays", "a\\", {"a\\"}},
        SplitCase{"BackslashDoesNotProtectBlank", "a\\ b", {"a\\", "b"}},
        SplitCase{"CommentAfterWord", "ls # list it", {"ls"}},
        SplitCase{"HashEndsWordWithoutBlank", "a#b", {"a"}},
        SplitCase{"HashInsideQuotes", "\"a#b\" 'c#d'", {"a#b", "c#d"}},
        SplitCase{"NewlineEndsComment", "a # note\nb", {"a", "b"}},
        SplitCase{"EscapedNewlineContinuesComment", "a # note\\\nb", {"a"}},
        SplitCase{"BackslashEndingCommentMakesNoWord", "a # note\\", {"a"}},
        SplitCase{"DoubleQuoteInsideApostrophes", "'say \"hi\"'", {"say \"hi\""}},
        SplitCase{"ApostropheInsideDoubleQuotes", "\"it's\"", {"it's"}},
        SplitCase{"UnterminatedQuoteEndsAtEnd", "cd \"open end", {"cd", "open end"}},
        SplitCase{"QuotesDoNotSplit", "pre\"mid dle\"post", {"premid dlepost"}},
        SplitCase{"EmptyQuotesAddNothing", "a \"\" ''", {"a"}},
        SplitCase{"EscapeInsideQuotes", "\"a\\\"b\" 'c\\'d'", {"a\"b", "c'd"}},
        SplitCase{"EscapeOfOtherInsideQuotesKeepsBackslash", "\"a\\nb\"", {"a\\nb"}},
        SplitCase{"BlanksAroundAndBetween", "  a \t  b  ", {"a", "b"}},
        SplitCase{"EveryBlankKindSplits", "a\tb\vc\fd\re\nf", {"a", "b", "c", "d", "e", "f"}},
        SplitCase{"EmptyLine", "", {}},
        SplitCase{"OnlyBlanks", "   ", {}},
        SplitCase{"OnlyComment", "# nothing", {}},
        SplitCase{"InvalidUtf8WordLeftOut", "a \xff b", {"a", "b"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(TokenizeLineNull, GivesNone) { EXPECT_FALSE(tokenize_line(nullptr)); }

struct CursorCase {
  const char* line;
  int cursor;
  int index;      // the word under the cursor
  size_t words;   // the words of the line
};

class TokenizeCursor : public testing::TestWithParam<CursorCase> {};

TEST_P(TokenizeCursor, CountsWordsBeforeCursor) {
  const CursorCase& c = GetParam();
  int count = -7;
  k::Json words = tokenize_line(c.line, c.cursor, &count);
  ASSERT_TRUE(words);
  EXPECT_EQ(count, c.index) << "'" << c.line << "' at " << c.cursor;
  EXPECT_EQ(json_array_size(words.get()), c.words) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Positions, TokenizeCursor,
    testing::Values(CursorCase{"cd Dev", 6, 1, 2},       // inside the second word
                    CursorCase{"cd Dev ", 7, 2, 2},      // after a blank: an empty third word
                    CursorCase{"cd", 2, 0, 1},           // the command word itself
                    CursorCase{"", 0, 0, 0},             // nothing typed
                    CursorCase{"   cd", 5, 0, 1},        // leading blanks finish no word
                    CursorCase{"cd    Dev", 9, 1, 2},    // a run of blanks counts once
                    CursorCase{"a b c", 3, 1, 3},        // the blank at the cursor is not before it
                    CursorCase{"a b c", 4, 2, 3},
                    CursorCase{"set \"a b\" c", 11, 2, 3},  // a quoted blank finishes nothing
                    CursorCase{"ls #x", 5, 1, 1},        // "#" ends the word like a blank
                    CursorCase{"ls#x", 4, 1, 1}));

TEST(TokenizeCursorUnused, NegativeCursorLeavesCountAlone) {
  int count = 42;
  k::Json words = tokenize_line("a b c", -1, &count);
  EXPECT_EQ(count, 42);
  EXPECT_EQ(json_array_size(words.get()), 3u);
}

}  // namespace
