// color, opt and clear.
#include "shell/presentation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "shell/test_client.h"
#include "testing/stdout_capture.h"

namespace {

using testing_support::args;
using testing_support::ShellTestClient;

const std::string kColorSyntax =
    "syntax: color <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* <value>|*]\n";

struct Case {
  int (*handler)(Client&, const std::string&, json_t*);
  const char* name;
  std::vector<const char*> args;
  std::string output;
  int status;
  int entry = -1;        // the colour entry that changes (-1: none)
  k::HsvColour after{};  // its numbers afterwards
};

TEST(Presentation, ColorAndClearPrintAndSet) {
  const Case cases[] = {
      Case{cmd_color, "color", {"hint", "*", "*", "80"}, "120 100 80\n", 0, 3, {120, 100, 80}},
      Case{cmd_color, "color", {"root-prompt"}, "0 100 100\n", 0},
      Case{cmd_color, "color", {"prompt", "65546"}, "10 78 100\n", 0, 1, {10, 78, 100}},
      Case{cmd_color, "color", {"autocomplete", "*", "300"}, "50 44 55\n", 0, 2, {50, 44, 55}},
      Case{cmd_color, "color", {"hint", "1", "2", "3", "extra"}, "1 2 3\n", 0, 3, {1, 2, 3}},
      Case{cmd_color, "color", {"prompt", "10", "abc"}, kColorSyntax, -1},
      Case{cmd_color, "color", {"prompt", "-5"}, kColorSyntax, -1},
      Case{cmd_color, "color", {"prompt", "0x10"}, kColorSyntax, -1},
      Case{cmd_color, "color", {"Prompt", "1"}, kColorSyntax, -1},
      Case{cmd_color, "color", {}, kColorSyntax, -1},
      Case{cmd_clear, "clear", {"everything"}, "\033[2J\033[H", 0},
  };
  for (const Case& c : cases) {
    ShellTestClient t;
    const k::ColourTable defaults;
    k::Json words = args(c.args);
    int status = 0;
    EXPECT_EQ(output_of([&] { status = c.handler(t.shell, c.name, words.get()); }), c.output);
    EXPECT_EQ(status, c.status);
    for (int i = 0; i < k::kColourEntries; ++i) {
      const k::HsvColour& want = i == c.entry ? c.after : defaults.entries[i];
      const k::HsvColour& got = t.colours.entries[i];
      EXPECT_EQ(std::vector<int>({got.hue, got.saturation, got.value}),
                std::vector<int>({want.hue, want.saturation, want.value}))
          << "entry " << i << " after " << c.name << " " << c.output;
    }
  }
}

// opt switches one of the line editor's offers, or strict mode, and only with exactly its two
// words; in request mode and scripts only strict mode.
TEST(Presentation, OptSwitchesCompletionHintsAndStrictMode) {
  const std::string kSyntax = "syntax: opt autocomplete|hint|strict on|off";  // no line end
  const std::string kRequestSyntax = "syntax: opt strict on|off\n";
  const struct {
    bool request;  // the request-mode handler
    std::vector<const char*> args;
    std::string output;
    int status;
    bool autocomplete, hints, strict;  // afterwards, the first two having been on
  } cases[] = {
      {false, {"hint", "off"}, "", 0, true, false, false},
      {false, {"autocomplete", "off"}, "", 0, false, true, false},
      {false, {"hint", "on"}, "", 0, true, true, false},
      {false, {"strict", "on"}, "", 0, true, true, true},
      {false, {"hint", "maybe"}, kSyntax, -1, true, true, false},
      {false, {"hint"}, kSyntax, -1, true, true, false},
      {false, {"hint", "off", "now"}, kSyntax, -1, true, true, false},
      {false, {"Hint", "off"}, kSyntax, -1, true, true, false},
      {false, {"colour", "on"}, kSyntax, -1, true, true, false},
      {true, {"strict", "on"}, "", 0, true, true, true},
      {true, {"strict", "yes"}, kRequestSyntax, -1, true, true, false},
      {true, {"hint", "off"}, kRequestSyntax, -1, true, true, false},
      {true, {"strict"}, kRequestSyntax, -1, true, true, false},
  };
  for (const auto& c : cases) {
    ShellTestClient t;
    k::Json words = args(c.args);
    int status = 0;
    auto handler = c.request ? cmd_opt_request : cmd_opt;
    EXPECT_EQ(output_of([&] { status = handler(t.shell, "opt", words.get()); }), c.output);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(t.editor.autocomplete, c.autocomplete) << c.args.size();
    EXPECT_EQ(t.editor.hints, c.hints) << c.args.size();
    EXPECT_EQ(t.session.strict, c.strict) << c.args.size();
  }
  ShellTestClient t;
  t.session.strict = true;
  k::Json off = args({"strict", "off"});
  EXPECT_EQ(cmd_opt_request(t.shell, "opt", off.get()), 0);
  EXPECT_FALSE(t.session.strict);
}

}  // namespace
