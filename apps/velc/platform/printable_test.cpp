#include "platform/printable.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/colors.h"
#include "testing/stdout_capture.h"

namespace {

TEST(PutText, EscapesControlsOnlyWhenAsked) {
  const std::pair<std::string, std::string> cases[] = {  // the text, as written escaped
      {"plain text\tand\nlines", "plain text\tand\nlines"},
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},          // a title-setting sequence
      {"back\rspace\b del\x7f", "back\\x0dspace\\x08 del\\x7f"},
      {"caf\xc3\xa9 \xe2\x9c\x93", "caf\xc3\xa9 \xe2\x9c\x93"},  // UTF-8 text passes
      {"csi\xc2\x9b" "2J", "csi\\u009b2J"},                    // a C1 control in UTF-8
      {"stray\x9b" "2J", "stray\\x9b2J"},                      // a lone C1 byte
      {"cut\xe2\x1b[", "cut\\xe2\\x1b["},                      // a lead byte without its tail
      {std::string("nul\0end", 7), "nul\\x00end"},
  };
  for (const auto& [text, escaped] : cases) {
    EXPECT_EQ(k::escape_controls(text), escaped);
    EXPECT_EQ(output_of([&] { k::put_text(text, true); }), escaped);
    EXPECT_EQ(output_of([&] { k::put_text(text, false); }), text);
  }
}

// Colours, the other guard of what reaches a terminal: when a run writes them.
TEST(Colours, OnlyToATerminalThatHasThemAndWithoutNoColor) {
  struct Case {
    bool to_terminal;
    const char* no_color;
    const char* term;
    bool wanted;
  };
  const Case cases[] = {
      {true, nullptr, "xterm", true},   {true, nullptr, nullptr, true},
      {false, nullptr, "xterm", false}, {true, "", "xterm", false},  // set, even empty
      {true, "1", "xterm", false},      {true, nullptr, "dumb", false},
      {true, nullptr, "dumb-emacs", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(k::colours_wanted(c.to_terminal, c.no_color, c.term), c.wanted)
        << c.to_terminal << " " << (c.no_color ? c.no_color : "(unset)") << " "
        << (c.term ? c.term : "(unset)");
}

}  // namespace
