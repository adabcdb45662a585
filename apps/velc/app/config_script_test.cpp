#include "app/config_script.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

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
  {
    HomeAs home("/home/ann");
    EXPECT_EQ(config_script_path(nullptr), "/home/ann/.local/velc/config");
    EXPECT_EQ(config_script_path("/etc/velc.conf"), "/etc/velc.conf");
  }
  {
    // The longest home whose path fits, and one byte more: no path rather than a cut one.
    const std::string tail = "/.local/velc/config";
    std::string fits(kConfigPathMax - tail.size(), 'h');
    HomeAs home(fits.c_str());
    EXPECT_EQ(config_script_path(nullptr), fits + tail);
    HomeAs longer((fits + "h").c_str());
    EXPECT_EQ(config_script_path(nullptr), std::nullopt);
    EXPECT_EQ(config_script_path("/x"), "/x");
  }
  {
    HomeAs home(nullptr);
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(config_script_path(nullptr), std::string(entry->pw_dir) + "/.local/velc/config");
  }
}

// `color` and `opt` in the script change the caller's tables (those the shell gets later) and the
// session's strict mode; the script prints nothing (its echo, Lua's output), and a failing line
// ends it. Neither command
// reaches veld: the session is not even connected.
TEST(ConfigScript, ColoursAndSwitchesReachTheCallersTables) {
  k::test::TempDir dir;
  std::ofstream(dir.file("config")) << "echo hidden\nlua print(1) io.write(2)\n"
                                       "color prompt 10 20 30\nopt hint off\n"
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
  EXPECT_EQ(prompt.hue, 10);
  EXPECT_EQ(prompt.saturation, 20);
  EXPECT_EQ(prompt.value, 30);
  EXPECT_FALSE(editor.hints);
  EXPECT_TRUE(editor.autocomplete);  // after "bogus": not run
  EXPECT_TRUE(session.strict);       // for the rest of the run
}

}  // namespace
