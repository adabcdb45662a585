#include "app/cline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

struct Parsed {
  Strings words;  // the argument vector: the options borrow texts from it
  int result;
  Options options;
  std::string out;
  std::string err;
};

Parsed parse(Strings words) {
  Parsed p;
  p.words = std::move(words);
  std::vector<char*> argv;
  for (auto& w : p.words) argv.push_back(w.data());
  argv.push_back(nullptr);
  p.options.parameters = k::Json::take(json_array());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  p.result = cline_parse(static_cast<int>(p.words.size()), argv.data(), p.options);
  p.err = testing::internal::GetCapturedStderr();
  p.out = testing::internal::GetCapturedStdout();
  return p;
}

Strings words_of(json_t* array) {
  Strings v;
  for (size_t i = 0; const char* w = k::json_array_text(array, i); ++i) v.emplace_back(w);
  return v;
}

constexpr const char* kUsage = "Usage: velc [options]\n";

// The mode, the positional words and what goes to standard error; "usage" stands for an error
// answered with the usage text.
TEST(Cline, ModesWordsAndArgumentRules) {
  const struct {
    Strings argv;
    int result;
    int mode;
    Strings parameters;
    std::string err;
  } cases[] = {
      {{"velc", "-r", "cat", "Device.", "x"}, 0, kModeRequest, {"Device.", "x"}, ""},
      {{"velc", "-l", "--strict"}, 0, kModeListen, {}, ""},
      // Words beginning with "-" reach the command after "--" (and only there).
      {{"velc", "-r", "login", "--", "admin", "-p"}, 0, kModeRequest, {"admin", "-p"}, ""},
      {{"velc", "-r", "reboot", "-f"}, -1, kModeRequest, {}, "usage"},
      // An option that needs an argument given none, and one that takes none given one.
      {{"velc", "-r"}, -1, kModeInteractive, {}, "usage"},
      {{"velc", "--listen=x"}, -1, kModeInteractive, {}, "usage"},
      {{"velc", "--ssl=no"}, -1, kModeInteractive, {}, "usage"},
      // A second mode option names both modes.
      {{"velc", "-l", "-r", "c"}, -1, kModeListen, {},
       "Cannot execute 'request' and 'listen' modes simultaneously.\n"},
  };
  for (const auto& c : cases) {
    Parsed p = parse(c.argv);
    std::string label = c.argv.size() > 1 ? c.argv[1] : c.argv[0];
    EXPECT_EQ(p.result, c.result) << label;
    EXPECT_EQ(p.options.mode, c.mode) << label;
    EXPECT_EQ(c.result == 0 ? words_of(p.options.parameters.get()) : Strings{}, c.parameters) << label;
    EXPECT_TRUE(c.err == "usage" ? p.err.find(kUsage) != std::string::npos : p.err == c.err)
        << label << ": " << p.err;
    EXPECT_EQ(p.out, "") << label;
  }
}

TEST(Cline, OptionValues) {
  EXPECT_EQ(parse({"velc", "-s", "file"}).options.script_path, nullptr);  // -s takes no argument
  Parsed g = parse({"velc", "-l", "-g", "1,,2", "-g", "3"});
  ASSERT_EQ(g.options.group_count, 3u);
  EXPECT_EQ(g.options.groups[2], 3u);
  std::string many;
  for (int i = 1; i <= 65; ++i) many += std::to_string(i) + ",";
  EXPECT_EQ(parse({"velc", "-g", many}).err, "Invalid group number: '65'.\n");
}

}  // namespace
