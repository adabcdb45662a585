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

// Each command's text and status, and the one colour entry it changed (the others stay).
TEST(Presentation, ColorAndClearPrintAndSet) {
  const std::string kSyntax =
      "syntax: color <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* <value>|*]\n";
  const struct {
    int (*handler)(Client&, const std::string&, json_t*);
    std::vector<const char*> args;
    std::string output;
    int status;
    int entry = -1;        // the colour entry that changes (-1: none)
    k::HsvColour after{};  // its numbers afterwards
  } cases[] = {
      {cmd_color, {"hint", "*", "*", "80"}, "120 100 80\n", 0, 3, {120, 100, 80}},
      {cmd_color, {"root-prompt"}, "0 100 100\n", 0},
      {cmd_color, {"prompt", "65546"}, "10 78 100\n", 0, 1, {10, 78, 100}},
      {cmd_color, {"autocomplete", "*", "300"}, "50 44 55\n", 0, 2, {50, 44, 55}},
      {cmd_color, {"hint", "1", "2", "3", "extra"}, "1 2 3\n", 0, 3, {1, 2, 3}},
      {cmd_color, {"prompt", "10", "abc"}, kSyntax, -1}, {cmd_color, {"prompt", "-5"}, kSyntax, -1},
      {cmd_color, {"prompt", "0x10"}, kSyntax, -1},      {cmd_color, {"Prompt", "1"}, kSyntax, -1},
      {cmd_clear, {"everything"}, "\033[2J\033[H", 0},
  };
  const k::ColourTable defaults;
  for (const auto& c : cases) {
    ShellTestClient t;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(c.handler(t.shell, "color", args(c.args).get()), c.status); }), c.output);
    for (int i = 0; i < k::kColourEntries; ++i) {
      const k::HsvColour& want = i == c.entry ? c.after : defaults.entries[i];
      const k::HsvColour& got = t.colours.entries[i];
      EXPECT_EQ(std::vector<int>({got.hue, got.saturation, got.value}),
                std::vector<int>({want.hue, want.saturation, want.value}))
          << "entry " << i << " after " << c.output;
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
    bool autocomplete, hints, strict;  // afterwards, the first two having been on, strict off
  } cases[] = {
      {false, {"hint", "off"}, "", true, false, false},
      {false, {"autocomplete", "off"}, "", false, true, false},
      {false, {"strict", "on"}, "", true, true, true},
      {false, {"hint", "maybe"}, kSyntax, true, true, false},
      {false, {"hint", "off", "now"}, kSyntax, true, true, false},
      {false, {"Hint", "off"}, kSyntax, true, true, false},
      {true, {"strict", "on"}, "", true, true, true},
      {true, {"strict", "yes"}, kRequestSyntax, true, true, false},
      {true, {"hint", "off"}, kRequestSyntax, true, true, false},
  };
  for (const auto& c : cases) {
    ShellTestClient t;
    auto handler = c.request ? cmd_opt_request : cmd_opt;
    const int status = c.output.empty() ? 0 : -1;
    EXPECT_EQ(output_of([&] { EXPECT_EQ(handler(t.shell, "opt", args(c.args).get()), status); }), c.output);
    EXPECT_EQ(std::vector<bool>({t.editor.autocomplete, t.editor.hints, t.session.strict}),
              std::vector<bool>({c.autocomplete, c.hints, c.strict}))
        << c.args[0];
  }
  ShellTestClient t;
  t.session.strict = true;
  EXPECT_EQ(cmd_opt_request(t.shell, "opt", args({"strict", "off"}).get()), 0);
  EXPECT_FALSE(t.session.strict);
  t.editor.hints = false;
  EXPECT_EQ(cmd_opt(t.shell, "opt", args({"hint", "on"}).get()), 0);
  EXPECT_TRUE(t.editor.hints);
}

}  // namespace
