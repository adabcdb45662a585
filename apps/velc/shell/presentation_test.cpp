// color, opt and clear.
#include "shell/presentation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "platform/stdout_capture.h"

namespace {

using testing_support::args;
using testing_support::TestClient;

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

class Presentation : public testing::TestWithParam<Case> {};

TEST_P(Presentation, PrintsAndSets) {
  const Case& c = GetParam();
  Session session;
  DataModelView view;
  k::ColourTable colours;
  const k::ColourTable defaults;
  k::EditorSwitches editor;
  Client client{session, view, colours, editor};
  k::Json args = k::Json::take(json_array());
  for (const char* a : c.args) json_array_append_new(args.get(), json_string(a));
  int status = 0;
  EXPECT_EQ(output_of([&] { status = c.handler(client, c.name, args.get()); }), c.output);
  EXPECT_EQ(status, c.status);
  for (int i = 0; i < k::kColourEntries; ++i) {
    const k::HsvColour& want = i == c.entry ? c.after : defaults.entries[i];
    const k::HsvColour& got = colours.entries[i];
    EXPECT_EQ(std::vector<int>({got.hue, got.saturation, got.value}),
              std::vector<int>({want.hue, want.saturation, want.value}))
        << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Presentation,
    testing::Values(
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
        Case{cmd_clear, "clear", {"everything"}, "\033[2J\033[H", 0}));

// opt switches one of the line editor's offers, and only with exactly its two words.
TEST(Presentation, OptSwitchesCompletionAndHints) {
  const std::string kSyntax = "syntax: opt autocomplete|hint on|off";  // no line end
  const struct {
    std::vector<const char*> args;
    std::string output;
    int status;
    bool autocomplete, hints;  // afterwards, both having been on
  } cases[] = {
      {{"hint", "off"}, "", 0, true, false},
      {{"autocomplete", "off"}, "", 0, false, true},
      {{"hint", "on"}, "", 0, true, true},
      {{"hint", "maybe"}, kSyntax, -1, true, true},
      {{"hint"}, kSyntax, -1, true, true},
      {{"hint", "off", "now"}, kSyntax, -1, true, true},
      {{"Hint", "off"}, kSyntax, -1, true, true},
      {{"colour", "on"}, kSyntax, -1, true, true},
  };
  for (const auto& c : cases) {
    TestClient t;
    k::Json words = args(c.args);
    int status = 0;
    EXPECT_EQ(output_of([&] { status = cmd_opt(t.client, "opt", words.get()); }), c.output);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(t.editor.autocomplete, c.autocomplete) << c.args.size();
    EXPECT_EQ(t.editor.hints, c.hints) << c.args.size();
  }
}

}  // namespace
