// help, color, opt, clear and the prompt.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "datamodel/cdpath.h"
#include "entry/user.h"
#include "platform/line_editor.h"
#include "shell/command_handlers.h"
#include "shell/prompt.h"
#include "shell/shell_test_support.h"

namespace {

using shell_test::args_of;
using shell_test::output_of;

const ColourTable kDefaults{{{0, 100, 100}, {220, 78, 100}, {50, 100, 55}, {120, 100, 55}}};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Help, ListsSortedCommandsWithPaddedUsage) {
  int status = -1;
  k::Json args = args_of({"ignored"});
  std::string out = output_of([&] { return cmd_help("help", args.get()); }, &status);
  EXPECT_EQ(status, 0);
  std::vector<std::string> lines = lines_of(out);
  ASSERT_EQ(lines.size(), 35u);
  // The longest usage (download's, 67 characters) sets the width of the column.
  EXPECT_EQ(lines.front(), "add <path>" + std::string(57, ' ') +
                               " - add a new instance to multi-instance object");
  EXPECT_EQ(lines.back(), "upgrade <path_to_firmware>" + std::string(41, ' ') +
                              " - upgrade CPE firmware");
  EXPECT_EQ(lines[1].substr(0, 5), "attr ");
  for (const std::string& line : lines) {
    EXPECT_EQ(line.substr(67, 3), " - ") << line;
    EXPECT_NE(line.rfind("debug", 0), 0u) << "debug has no help";
  }
  // Sorted by name in byte order: "_" sorts before "o".
  auto at = [&](const char* usage) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].rfind(usage, 0) == 0) return static_cast<int>(i);
    return -1;
  };
  EXPECT_LT(at("login [<username>"), at("login_if_guest "));
  EXPECT_LT(at("login_if_guest "), at("logout"));
  EXPECT_LT(at("record "), at("reset"));
}

TEST(Help, UsageColumnIsColouredWhenColoursAreOn) {
  k::Json args = args_of({});
  k::colors_force(true);
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  cmd_help("help", args.get());
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  k::colors_force(false);
  std::string first = lines_of(out).front();
  EXPECT_EQ(first.rfind(k::hsv_sequence(colour_table().entries[kColourAutocomplete]) + "add <path>", 0),
            0u);
  EXPECT_NE(first.find("\033[0m - add a new instance"), std::string::npos);
}

struct ColorCase {
  std::vector<const char*> args;
  std::string output;
  int status;
  int entry;           // the entry that changes (-1: none)
  k::HsvColour after;  // its numbers afterwards
};

const std::string kColorSyntax =
    "syntax: color <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* <value>|*]\n";

class Color : public testing::TestWithParam<ColorCase> {
 protected:
  void SetUp() override { colour_table() = kDefaults; }
  void TearDown() override { apply_colours(kDefaults); }
};

TEST_P(Color, SetsAndShowsEntry) {
  const ColorCase& c = GetParam();
  k::Json args = k::Json::take(json_array());
  for (const char* a : c.args) json_array_append_new(args.get(), json_string(a));
  int status = 0;
  EXPECT_EQ(output_of([&] { return cmd_color("color", args.get()); }, &status), c.output);
  EXPECT_EQ(status, c.status);
  for (int i = 0; i < 4; ++i) {
    const k::HsvColour& want = i == c.entry ? c.after : kDefaults.entries[i];
    const k::HsvColour& got = colour_table().entries[i];
    EXPECT_EQ(got.hue, want.hue) << "entry " << i;
    EXPECT_EQ(got.saturation, want.saturation) << "entry " << i;
    EXPECT_EQ(got.value, want.value) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, Color,
    testing::Values(
        ColorCase{{"hint", "*", "*", "80"}, "120 100 80\n", 0, 3, {120, 100, 80}},
        ColorCase{{"root-prompt"}, "0 100 100\n", 0, 0, {0, 100, 100}},
        ColorCase{{"prompt", "65546"}, "10 78 100\n", 0, 1, {10, 78, 100}},  // low 16 bits
        ColorCase{{"autocomplete", "*", "300"}, "50 44 55\n", 0, 2, {50, 44, 55}},  // low 8 bits
        ColorCase{{"hint", "1", "2", "3", "extra"}, "1 2 3\n", 0, 3, {1, 2, 3}},
        ColorCase{{"prompt", "10", "abc"}, kColorSyntax, -1, -1, {}},
        ColorCase{{"prompt", "-5"}, kColorSyntax, -1, -1, {}},
        ColorCase{{"prompt", ""}, kColorSyntax, -1, -1, {}},
        ColorCase{{"prompt", "0x10"}, kColorSyntax, -1, -1, {}},
        ColorCase{{"Prompt", "1"}, kColorSyntax, -1, -1, {}},
        ColorCase{{"red"}, kColorSyntax, -1, -1, {}},
        ColorCase{{}, kColorSyntax, -1, -1, {}}));

TEST(Color, NewPromptColourReachesLineEditor) {
  colour_table() = kDefaults;
  k::Json args = args_of({"prompt", "10", "20", "30"});
  output_of([&] { return cmd_color("color", args.get()); });
  k::colors_force(true);
  std::string shown = k::line_editor_prompt("velc:> ");
  k::colors_force(false);
  EXPECT_EQ(shown, "\001" + k::hsv_sequence({10, 20, 30}) + "\002velc:> \001\033[0m\002");
  EXPECT_EQ(k::line_editor_prompt("velc:> "), "velc:> ");  // no colours: the plain prompt
  apply_colours(kDefaults);
}

struct OptCase {
  std::vector<const char*> args;
  int status;
};

class Opt : public testing::TestWithParam<OptCase> {};

TEST_P(Opt, AcceptsExactlyTwoKnownWords) {
  const OptCase& c = GetParam();
  k::Json args = k::Json::take(json_array());
  for (const char* a : c.args) json_array_append_new(args.get(), json_string(a));
  int status = 0;
  std::string out = output_of([&] { return cmd_opt("opt", args.get()); }, &status);
  EXPECT_EQ(status, c.status);
  // The syntax text has no line end.
  EXPECT_EQ(out, c.status == 0 ? "" : "syntax: opt autocomplete|hint on|off");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, Opt,
    testing::Values(OptCase{{"hint", "off"}, 0}, OptCase{{"hint", "on"}, 0},
                    OptCase{{"autocomplete", "off"}, 0}, OptCase{{"autocomplete", "on"}, 0},
                    OptCase{{"hint", "maybe"}, -1}, OptCase{{"hint", "ON"}, -1},
                    OptCase{{"hints", "on"}, -1}, OptCase{{"hint"}, -1},
                    OptCase{{"hint", "on", "now"}, -1}, OptCase{{}, -1}));

TEST(Clear, WritesEraseAndHomeIgnoringArguments) {
  int status = -1;
  k::Json args = args_of({"everything"});
  EXPECT_EQ(output_of([&] { return cmd_clear("clear", args.get()); }, &status),
            "\033[2J\033[H");
  EXPECT_EQ(status, 0);
}

class Prompt : public testing::Test {
 protected:
  void TearDown() override {
    current_user_store(nullptr);
    current_path.text.clear();
    prompt_set_tag(nullptr);
  }
};

TEST_F(Prompt, ShowsUserTagAndPath) {
  current_path.text = "Device.DeviceInfo";
  prompt_build();
  EXPECT_EQ(prompt_text(), "velc:Device.DeviceInfo> ");
  current_user_store("admin");
  current_path.text.clear();
  prompt_build();
  EXPECT_EQ(prompt_text(), "admin@velc:> ");
  prompt_set_tag("record");
  EXPECT_EQ(prompt_text(), "admin@velc-record:> ");
  prompt_set_tag("a-name-that-is-far-too-long");
  EXPECT_EQ(prompt_text(), "admin@velc-a-name-that-is:> ");  // the tag is cut to 15 characters
  prompt_set_continuation(true);
  EXPECT_EQ(prompt_text(), "> ");
  prompt_set_continuation(false);
  EXPECT_EQ(prompt_text(), "admin@velc-a-name-that-is:> ");
  prompt_set_tag(nullptr);
  EXPECT_EQ(prompt_text(), "admin@velc:> ");
}

TEST(HistoryPath, EnvironmentOverridesDefault) {
  unsetenv("VELC_HISTFILE");
  EXPECT_EQ(shell_history_path(), "/tmp/.velc.hist");
  setenv("VELC_HISTFILE", "", 1);
  EXPECT_EQ(shell_history_path(), "/tmp/.velc.hist");
  setenv("VELC_HISTFILE", "/somewhere/h", 1);
  EXPECT_EQ(shell_history_path(), "/somewhere/h");
  unsetenv("VELC_HISTFILE");
}

}  // namespace
