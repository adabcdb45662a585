// help, color, opt, clear and the prompt.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "datamodel/cdpath.h"
#include "entry/user.h"
#include "shell/command_handlers.h"
#include "shell/prompt.h"
#include "shell/shell_test_support.h"

namespace {

using shell_test::output_of;

TEST(Help, ListsCommandsWithPaddedUsage) {
  int status = -1;
  k::Json args = shell_test::args_of({"ignored"});
  std::istringstream out(output_of([&] { return cmd_help("help", args.get()); }, &status));
  EXPECT_EQ(status, 0);
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 35u);
  // The longest usage (download's, 67 characters) sets the width of the column.
  EXPECT_EQ(lines.front(),
            "add <path>" + std::string(57, ' ') + " - add a new instance to multi-instance object");
  EXPECT_EQ(lines.back(),
            "upgrade <path_to_firmware>" + std::string(41, ' ') + " - upgrade CPE firmware");
  for (const std::string& line : lines) {
    EXPECT_EQ(line.substr(67, 3), " - ") << line;
    EXPECT_NE(line.rfind("debug", 0), 0u) << "debug has no help";
  }
}

const ColourTable kDefaults{{{0, 100, 100}, {220, 78, 100}, {50, 100, 55}, {120, 100, 55}}};
const std::string kColorSyntax =
    "syntax: color <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* <value>|*]\n";
const std::string kOptSyntax = "syntax: opt autocomplete|hint on|off";  // no line end

struct Case {
  int (*handler)(const std::string&, json_t*);
  const char* name;
  std::vector<const char*> args;
  std::string output;
  int status;
  int entry = -1;      // the colour entry that changes (-1: none)
  k::HsvColour after{};  // its numbers afterwards
};

class Presentation : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override { colour_table() = kDefaults; }
  void TearDown() override { apply_colours(kDefaults); }
};

TEST_P(Presentation, PrintsAndSets) {
  const Case& c = GetParam();
  k::Json args = k::Json::take(json_array());
  for (const char* a : c.args) json_array_append_new(args.get(), json_string(a));
  int status = 0;
  EXPECT_EQ(output_of([&] { return c.handler(c.name, args.get()); }, &status), c.output);
  EXPECT_EQ(status, c.status);
  for (int i = 0; i < 4; ++i) {
    const k::HsvColour& want = i == c.entry ? c.after : kDefaults.entries[i];
    const k::HsvColour& got = colour_table().entries[i];
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
        Case{cmd_opt, "opt", {"hint", "off"}, "", 0},
        Case{cmd_opt, "opt", {"autocomplete", "on"}, "", 0},
        Case{cmd_opt, "opt", {"hint", "ON"}, kOptSyntax, -1},
        Case{cmd_opt, "opt", {"hints", "on"}, kOptSyntax, -1},
        Case{cmd_opt, "opt", {"hint"}, kOptSyntax, -1},
        Case{cmd_opt, "opt", {"hint", "on", "now"}, kOptSyntax, -1},
        Case{cmd_clear, "clear", {"everything"}, "\033[2J\033[H", 0}));

TEST(Prompt, ShowsUserTagAndPath) {
  current_path.text = "Device.DeviceInfo";
  prompt_build();
  EXPECT_EQ(prompt_text(), "velc:Device.DeviceInfo> ");
  current_user_store("admin");
  current_path.text.clear();
  prompt_build();
  EXPECT_EQ(prompt_text(), "admin@velc:> ");
  prompt_set_tag("a-name-that-is-far-too-long");
  EXPECT_EQ(prompt_text(), "admin@velc-a-name-that-is:> ");  // the tag is cut to 15 characters
  prompt_set_continuation(true);
  EXPECT_EQ(prompt_text(), "> ");
  prompt_set_continuation(false);
  EXPECT_EQ(prompt_text(), "admin@velc-a-name-that-is:> ");
  prompt_set_tag(nullptr);
  EXPECT_EQ(prompt_text(), "admin@velc:> ");
  current_user_store(nullptr);
}

}  // namespace
