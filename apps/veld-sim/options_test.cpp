#include "options.h"

#include <gtest/gtest.h>

#include <vector>

namespace sim {
namespace {

struct OptionsCase {
  std::vector<const char*> args;
  bool ok;
  const char* error_part;  // for failures
};

TEST(ParseOptions, AcceptsTheDocumentedFormsAndRejectsTheRest) {
  const OptionsCase cases[] = {
      {{"--socket", "/tmp/s"}, true, ""},
      {{"--socket=/tmp/s", "--delay=250", "--hosts", "5000"}, true, ""},
      {{"--help"}, true, ""},
      {{}, false, "--socket PATH is required"},
      {{"--socket"}, false, "--socket needs a value"},
      {{"--socket="}, false, "--socket needs a value"},
      {{"--socket", "/s", "--bogus"}, false, "unknown option: --bogus"},
      {{"--socket", "/s", "--delay", "-5"}, false, "--delay expects"},
      {{"--socket", "/s", "--delay", "5ms"}, false, "--delay expects"},
      {{"--socket", "/s", "--hosts", "200001"}, false, "--hosts expects"},
      {{"--socket", "/s", "stray"}, false, "unknown option: stray"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"veld-sim"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    Options o;
    std::string error;
    bool ok = parse_options(static_cast<int>(argv.size()), argv.data(), o, error);
    EXPECT_EQ(ok, c.ok) << (c.args.empty() ? "" : c.args.back());
    if (!c.ok) {
      EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
    }
  }
}

TEST(ParseOptions, ReadsValues) {
  const char* argv[] = {"veld-sim", "--socket", "/tmp/s", "--model=m.json", "--hosts", "0",
                        "--delay", "30", "--request-log", "/tmp/log"};
  Options o;
  std::string error;
  ASSERT_TRUE(parse_options(10, argv, o, error)) << error;
  EXPECT_EQ(o.socket_path, "/tmp/s");
  EXPECT_EQ(o.model_file, "m.json");
  EXPECT_EQ(o.hosts, 0);
  EXPECT_EQ(o.delay_ms, 30);
  EXPECT_EQ(o.request_log, "/tmp/log");
}

}  // namespace
}  // namespace sim
