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

}  // namespace
