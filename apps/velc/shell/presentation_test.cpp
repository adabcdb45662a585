// color, opt and clear, and the prompt they colour.
#include "shell/presentation.h"

#include <gtest/gtest.h>

#include "shell/prompt.h"
#include "shell/test_client.h"

namespace {

using testing_support::args;
using testing_support::ShellTestClient;
using Handler = int (*)(Client&, const std::string&, json_t*);

// Each command's text and status, and the one colour entry it changed (the others stay).
TEST(Presentation, ColorAndClearPrintAndSet) {
  const std::string kSyntax = "syntax: color <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* <value>|*]\n";
  // The handler, its words, what it prints and gives, the entry that changes (-1: none) and its numbers.
  const struct { Handler handler; std::vector<const char*> args; std::string output; int status; int entry; k::HsvColour after; } cases[] = {
      {cmd_color, {"hint", "*", "*", "80"}, "120 100 80\n", 0, 3, {120, 100, 80}},
      {cmd_color, {"root-prompt"}, "0 100 100\n", 0, -1, {}},
      {cmd_color, {"prompt", "65546"}, "10 78 100\n", 0, 1, {10, 78, 100}},
      {cmd_color, {"autocomplete", "*", "300"}, "50 44 55\n", 0, 2, {50, 44, 55}},
      {cmd_color, {"hint", "1", "2", "3", "extra"}, "1 2 3\n", 0, 3, {1, 2, 3}},
      {cmd_color, {"prompt", "10", "abc"}, kSyntax, -1, -1, {}}, {cmd_color, {"prompt", "-5"}, kSyntax, -1, -1, {}},
      {cmd_color, {"prompt", "0x10"}, kSyntax, -1, -1, {}}, {cmd_color, {"Prompt", "1"}, kSyntax, -1, -1, {}},
      {cmd_clear, {"everything"}, "\033[2J\033[H", 0, -1, {}},
  };
  const k::ColourTable defaults;
  for (const auto& c : cases) {
    ShellTestClient t;
    EXPECT_EQ(t.run(c.handler, "color", c.args), std::to_string(c.status) + " " + c.output);
    for (int i = 0; i < k::kColourEntries; ++i) {
      const k::HsvColour &want = i == c.entry ? c.after : defaults.entries[i], &got = t.colours.entries[i];
      EXPECT_EQ(std::tuple(got.hue, got.saturation, got.value), std::tuple(want.hue, want.saturation, want.value)) << i << c.output;
    }
  }
}

// opt switches one of the line editor's offers, or strict mode, and only with exactly its two
// words; in request mode and scripts only strict mode.
TEST(Presentation, OptSwitchesCompletionHintsAndStrictMode) {
  const std::string kSyntax = "syntax: opt autocomplete|hint|strict on|off";  // no line end
  const std::string kRequestSyntax = "syntax: opt strict on|off\n";
  // The request-mode handler or not, the words, what is printed, and the three switches
  // afterwards (from hints and completion on, strict mode off).
  const struct { bool request; std::vector<const char*> args; std::string output; std::vector<bool> after; } cases[] = {
      {false, {"hint", "off"}, "", {true, false, false}}, {false, {"autocomplete", "off"}, "", {false, true, false}},
      {false, {"strict", "on"}, "", {true, true, true}}, {false, {"hint", "maybe"}, kSyntax, {true, true, false}},
      {false, {"hint", "off", "now"}, kSyntax, {true, true, false}}, {false, {"Hint", "off"}, kSyntax, {true, true, false}},
      {true, {"strict", "on"}, "", {true, true, true}}, {true, {"strict", "yes"}, kRequestSyntax, {true, true, false}},
      {true, {"hint", "off"}, kRequestSyntax, {true, true, false}},
  };
  for (const auto& c : cases) {
    ShellTestClient t;
    EXPECT_EQ(t.run(c.request ? cmd_opt_request : cmd_opt, "opt", c.args), (c.output.empty() ? "0 " : "-1 ") + c.output);
    EXPECT_EQ(std::vector<bool>({t.editor.autocomplete, t.editor.hints, t.session.strict}), c.after) << c.args[0];
  }
  ShellTestClient t;
  t.session.strict = true;
  t.editor.hints = false;
  EXPECT_EQ(t.run(cmd_opt_request, "opt", {"strict", "off"}) + t.run(cmd_opt, "opt", {"hint", "on"}), "0 0 ");
  EXPECT_EQ(std::vector<bool>({t.editor.hints, t.session.strict}), std::vector<bool>({true, false}));
}

// The prompt shows the user and the position (cut to 383 bytes) in the colour of the user's
// access; a tag is "-" and the name, cut to 15 bytes.
TEST(Prompt, ShowsUserAndPositionInTheColourOfTheUsersAccess) {
  Session session;
  cdpath position;
  position.text = "Device.DeviceInfo";
  k::ColourTable colours;
  EXPECT_EQ(prompt_text(session, position), "velc:Device.DeviceInfo> ");
  EXPECT_EQ(&prompt_colour(session, colours), &colours.entries[k::kColourPrompt]);
  session.user = "admin";
  session.system_access = true;
  position.text = std::string(400, 'p');
  EXPECT_EQ(prompt_text(session, position, prompt_tag("abcdefghijklmnopq")), "admin@velc-abcdefghijklmn:" + std::string(357, 'p'));
  EXPECT_EQ(&prompt_colour(session, colours), &colours.entries[k::kColourRootPrompt]);
}

}  // namespace
