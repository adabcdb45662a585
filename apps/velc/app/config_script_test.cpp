#include "app/config_script.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/command_rows.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

namespace {

// Sets or unsets HOME for a test and puts the old value back.
class HomeAs {
 public:
  explicit HomeAs(const char* value) {
    if (const char* old = std::getenv("HOME")) old_ = old;
    if (value)
      setenv("HOME", value, 1);
    else
      unsetenv("HOME");
  }
  ~HomeAs() {
    if (old_)
      setenv("HOME", old_->c_str(), 1);
    else
      unsetenv("HOME");
  }

 private:
  std::optional<std::string> old_;
};

TEST(ConfigScript, Path) {
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  // The longest home whose path fits, and one byte more: no path rather than a cut one.
  const std::string tail = "/.local/velc/config", fits(kConfigPathMax - tail.size(), 'h'),
                    longer = fits + "h";
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"/home/ann", "/home/ann" + tail}, {nullptr, entry->pw_dir + tail},
      {fits.c_str(), fits + tail}, {longer.c_str(), std::nullopt}};
  for (const auto& [home, path] : cases) {
    HomeAs as(home);
    EXPECT_EQ(config_script_path(nullptr), path) << (home ? home : "(unset)");
    EXPECT_EQ(config_script_path("/etc/velc.conf"), "/etc/velc.conf");
  }
}

TEST(ConfigScript, StdoutToNullRestoresOnEveryWayOut) {
  EXPECT_EQ(output_of([] {
              std::printf("before ");
              try {
                StdoutToNull silenced;
                std::printf("hidden ");
                throw std::runtime_error("out");
              } catch (const std::runtime_error&) {
              }
              std::printf("after");
            }),
            "before after");
}

// `color` and `opt` in the script change the caller's tables (those the shell gets later) and the
// session's strict mode; the script prints nothing, and a failing line ends it. Neither command
// reaches veld: the session is not even connected.
TEST(ConfigScript, ColoursAndSwitchesReachTheCallersTables) {
  k::test::TempDir dir;
  std::ofstream(dir.file("config")) << "echo hidden\ncolor prompt 10 20 30\nopt hint off\n"
                                       "opt strict on\nbogus\nopt autocomplete off\n";
  Session session;
  k::ColourTable colours;
  k::EditorSwitches editor;
  std::string out = output_of([&] {
    config_script_run(velc_commands(), dir.file("config"), session, colours, editor);
    config_script_run(velc_commands(), dir.path(), session, colours, editor);  // a folder: skipped
  });
  EXPECT_EQ(out, "");
  const k::HsvColour& prompt = colours.entries[k::kColourPrompt];
  EXPECT_EQ(std::vector<int>({prompt.hue, prompt.saturation, prompt.value}), std::vector<int>({10, 20, 30}));
  EXPECT_FALSE(editor.hints);
  EXPECT_TRUE(editor.autocomplete);  // after "bogus": not run
  EXPECT_TRUE(session.strict);       // for the rest of the run
}

}  // namespace
