#include "platform/printable.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/colors.h"
#include "testing/test_stream.h"

namespace {

TEST(PutText, EscapesControlsOnlyWhenAsked) {
  const std::pair<std::string, std::string> cases[] = {  // the text, as written escaped
      {"plain\tand\nlines caf\xc3\xa9 \xe2\x9c\x93", "plain\tand\nlines caf\xc3\xa9 \xe2\x9c\x93"},
      {"\x1b]0;owned\x07\r\x1f del\x7f", "\\x1b]0;owned\\x07\\x0d\\x1f del\\x7f"},
      {"csi\xc2\x9b" "2J stray\x9b", "csi\\u009b2J stray\\x9b"},  // a C1 control, in UTF-8 or not
      {std::string("nul\0end", 7), "nul\\x00end"},
  };
  TestStream out;
  for (const auto& [text, escaped] : cases) {
    EXPECT_EQ(k::escape_controls(text), escaped);
    k::put_text(text, true, out.file);
    EXPECT_EQ(out.text(), escaped);
    k::put_text(text, false, out.file);
    EXPECT_EQ(out.text(), text);
  }
}

// Colours, the other guard of what reaches a terminal: only to a terminal that has them, and
// without NO_COLOR (set, even empty).
TEST(Colours, OnlyToATerminalThatHasThemAndWithoutNoColor) {
  const struct {
    bool to_terminal;
    const char *no_color, *term;
    bool wanted;
  } cases[] = {{true, nullptr, nullptr, true}, {false, nullptr, "xterm", false},
               {true, "", "xterm", false},     {true, nullptr, "dumb", false},
               {true, nullptr, "dumb-emacs", true}};
  for (const auto& c : cases)
    EXPECT_EQ(k::colours_wanted(c.to_terminal, c.no_color, c.term), c.wanted) << (c.term ? c.term : "-");
}

}  // namespace
