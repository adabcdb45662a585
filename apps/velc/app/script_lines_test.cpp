#include "app/script_lines.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using Kind = ScriptLine::Kind;

TEST(ScriptLines, LineIsComplete) {
  const std::pair<std::string, bool> cases[] = {
      {"ls Devi\\", false},            // a final backslash continues the line
      {"ls a\\\\", true},              // ... unless it is escaped
      {"echo 'a", false},              // an open quote continues it
      {"echo \"it's\"", true},         // the other kind inside a quote is a byte
      {"echo \\'", true},              // an escaped quote opens nothing
      {"# don't", false},              // comments are scanned too
  };
  for (const auto& [text, complete] : cases) EXPECT_EQ(line_is_complete(text), complete) << text;
}

// The joiner carries the quote state from line to line; it must decide exactly as
// line_is_complete on the whole text joined so far. Every pair of short lines over the bytes
// that matter.
TEST(ScriptLines, JoinerAgreesWithLineIsComplete) {
  const std::string alphabet = "a'\"\\";
  std::vector<std::string> lines = {""};
  for (size_t begin = 0, len = 1; len <= 4; ++len) {
    size_t end = lines.size();
    for (size_t i = begin; i < end; ++i)
      for (char c : alphabet) lines.push_back(lines[i] + c);
    begin = end;
  }
  for (const auto& first : lines) {
    for (const auto& second : lines) {
      ScriptLineJoiner joiner;
      std::string text;  // the reference: the pieces joined by the rules
      for (const std::string* line : {&first, &second}) {
        bool complete = line_is_complete(text + *line);
        std::optional<std::string> got = joiner.add(*line);
        ASSERT_EQ(got.has_value(), complete) << "[" << first << "] [" << second << "]";
        if (complete) {
          EXPECT_EQ(*got, text + *line);
          text.clear();
        } else {
          text += line->empty() || line->back() != '\\' ? *line : line->substr(0, line->size() - 1);
        }
      }
    }
  }
}

TEST(ScriptLines, Parse) {
  const struct {
    std::string text;
    Kind kind;
    std::vector<std::string> words;
    std::string echo = "";
    int seconds = 0;
  } cases[] = {
      // Words as the shell splits them: quotes keep blanks and go, a backslash protects a quote.
      {"set X='\"a b\"' Y=it\\'s", Kind::kCommand, {"set", "X=\"a b\"", "Y=it's"}},
      {"echo  x", Kind::kEcho, {}, " x"},  // the first blank is the separator
      {"sleep 99999999999999", Kind::kSleep, {}, "", INT_MAX},
  };
  for (const auto& c : cases) {
    ScriptLine line = script_line_parse(c.text);
    EXPECT_TRUE(line.kind == c.kind && line.words == c.words && line.echo == c.echo &&
                line.seconds == c.seconds) << c.text;
  }
}

}  // namespace
