#include "app/config_script.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The script in the home folder, from HOME or else the password database; the longest home whose
// path fits, and one byte more: no path rather than a cut one. (Running it is seen end to end.)
TEST(ConfigScript, Path) {
  const passwd* entry = getpwuid(getuid());
  ASSERT_NE(entry, nullptr);
  const char* saved = std::getenv("HOME");
  const std::string old = saved ? saved : "", tail = "/.local/velc/config",
                    fits(kConfigPathMax - tail.size(), 'h'), longer = fits + "h";
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"/home/ann", "/home/ann" + tail}, {nullptr, entry->pw_dir + tail},
      {fits.c_str(), fits + tail}, {longer.c_str(), std::nullopt}};
  for (const auto& [home, path] : cases) {
    home ? setenv("HOME", home, 1) : unsetenv("HOME");
    EXPECT_EQ(config_script_path(nullptr), path) << (home ? home : "(unset)");
    EXPECT_EQ(config_script_path("/etc/velc.conf"), "/etc/velc.conf");
  }
  saved ? setenv("HOME", old.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
