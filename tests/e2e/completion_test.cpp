// Completion on Tab and hints while typing, through the keyboard of the shell on a
// pseudo-terminal against veld-sim. The rules themselves are the unit tests'.
#include <gtest/gtest.h>

#include <string>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"
#include "platform/colors.h"

namespace {

using e2e::Emulator;
using e2e::Shell;

// Each line is typed with Tab and dropped with Ctrl-C; the screen shows what Tab added, or the
// list that two Tabs show below the line, which is then drawn again.
TEST(Completion, TabCompletesAndListsThroughTheKeyboard) {
  Emulator sim({"--hosts", "150"});
  Shell sh(sim);
  const std::pair<const char*, const char*> cases[] = {
      {"set Device.Time.Enable=t\t", "=true "},
      {"cat Device.WiFi.SSID.\t\t", "\n1.            2.            3.            max_instance  \nvelc:> cat Device.WiFi.SSID."},
      {"cat Device.Hosts.Host.\t\t", "Display all 151 possibilities? (y or n)"},
      {"n", "velc:> cat Device.Hosts.Host."},  // "n" gives the line back unchanged
  };
  for (const auto& [keys, wanted] : cases) {
    size_t from = sh.pty().mark();
    sh.pty().type(keys);
    EXPECT_TRUE(sh.pty().wait_for(wanted, from)) << keys << ":\n" << sh.pty().text().substr(from);
    if (std::string(wanted).rfind("Display", 0) != 0) sh.keys(e2e::kCtrlC);
  }
  // A completed line runs as typed.
  EXPECT_NE(sh.keys("cd Device.Hos\t\r").find("velc:Device.Hosts> "), std::string::npos);
}

// Hints: the rest of the only candidate after the cursor in the hint colour, erased when no
// candidate is left and before Enter, back after Backspace; `opt hint off` stops them.
TEST(Completion, HintsAppearAndDisappear) {
  Emulator sim;
  Shell sh(sim, {}, "", /*colours=*/true);
  const std::string hint = k::hsv_sequence(k::ColourTable{}.entries[k::kColourHint]);
  size_t from = 0;
  auto shows = [&](const std::string& keys, const std::string& raw) {
    from = sh.pty().raw().size();
    sh.pty().type(keys);
    return sh.pty().wait_until([&](const std::string&) { return sh.pty().raw().find(raw, from) != std::string::npos; });
  };
  auto since = [&] { return sh.pty().raw().substr(from); };
  ASSERT_TRUE(shows("cd Device.DeviceIn", hint + "fo.\033[0m\033[3D")) << since();
  ASSERT_TRUE(shows("x", "x")) << since();
  EXPECT_EQ(since().rfind("\033[K", 0), 0u) << since();
  EXPECT_EQ(since().find(hint), std::string::npos) << since();
  ASSERT_TRUE(shows("\x7f", hint + "fo.")) << since();
  from = sh.pty().raw().size();
  EXPECT_NE(sh.keys("\r").find("no such node"), std::string::npos);  // the line ran as typed
  EXPECT_EQ(since().rfind("\033[K", 0), 0u) << since();
  sh.keys("opt hint off\r");  // (typed: the screen text of a line typed with hints holds them)
  from = sh.pty().raw().size();
  sh.pty().type("he");
  sh.keys(e2e::kCtrlC);
  EXPECT_EQ(since().find(hint), std::string::npos) << since();
}

}  // namespace
