// Completion on Tab and hints while typing, in the shell on a pseudo-terminal against veld-sim.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"
#include "platform/colors.h"

namespace {

using e2e::Emulator;
using e2e::Shell;

constexpr const char* kTab = "\t";

// Types `keys` and waits until the screen after that point holds `wanted`.
::testing::AssertionResult shows(Shell& sh, const std::string& keys, const std::string& wanted) {
  size_t from = sh.pty().mark();
  sh.pty().type(keys);
  if (sh.pty().wait_for(wanted, from)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "typed '" << keys << "', wanted '" << wanted
                                       << "', screen:\n" << sh.pty().text().substr(from);
}

// Drops the line being typed (Ctrl-C) and waits for the fresh prompt.
void drop_line(Shell& sh) {
  size_t from = sh.pty().mark();
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until(
      [&](const std::string& s) { return e2e::ends_with_prompt(s.substr(from)); }));
}

// Each rule through the keyboard: what one Tab inserts, and what a second Tab lists.
TEST(Completion, TabCompletesByTheCommandsRule) {
  Emulator sim({"--hosts", "2"});
  Shell sh(sim);
  const struct {
    const char* typed;
    const char* keys;    // Tab once or twice
    const char* wanted;  // on the screen afterwards
  } cases[] = {
      {"pw", "\t", "pwd "},                               // a command name, with a blank
      {"cd Dev", "\t", "cd Device."},                     // an object, with its dot
      {"cd Device.Hos", "\t", "cd Device.Hosts."},        // after a dot
      {"ls :Dev", "\t", "ls :Device."},                   // absolute
      {"cat Device.Hosts.Host.", "\t\t", "1.  2."},       // instances listed
      {"set Device.Time.Enable=", "\t\t", "true   false"},  // values: booleans, in that order
      {"set Device.Time.Enable=t", "\t", "=true "},
      {"reboot ", "\t\t", "-f"},
      {"reset ", "\t\t", "AccessPoint  Bridge  Repeater  Router"},
      {"color ", "\t\t", "autocomplete  hint  prompt  root-prompt"},
      {"opt h", "\t", "opt hint "},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(shows(sh, std::string(c.typed) + c.keys, c.wanted));
    drop_line(sh);
  }
  // A completed line runs as typed.
  EXPECT_TRUE(shows(sh, std::string("cd Device.Hos") + kTab + "\r", "velc:Device.Hosts.> "));
  sh.quit("q\r");
}

// Many candidates: the shell asks before listing them, and "n" gives the line back unchanged.
TEST(Completion, AsksBeforeListingManyCandidates) {
  Emulator sim({"--hosts", "150"});
  Shell sh(sim);
  EXPECT_TRUE(shows(sh, "cat Device.Hosts.Host.\t\t", "Display all 151 possibilities? (y or n)"));
  EXPECT_TRUE(shows(sh, "n", "velc:> cat Device.Hosts.Host."));
  drop_line(sh);
  sh.quit("q\r");
}

// An instance that another client adds is offered at once; a deleted one is not.
TEST(Completion, FollowsInstancesAddedAndDeletedByOthers) {
  Emulator sim({"--hosts", "2"});
  Shell sh(sim);
  EXPECT_TRUE(shows(sh, "cat Device.Hosts.Host.\t\t", "1.  2."));  // the cache holds the table
  drop_line(sh);
  ASSERT_EQ(e2e::velc(sim, {"-r", "add", "Device.Hosts.Host."}).status, 0);
  ASSERT_EQ(e2e::velc(sim, {"-r", "del", "Device.Hosts.Host.1."}).status, 0);
  // The change events reach the shell on its own; Tab again until they have.
  bool offered = false;
  for (int i = 0; i < 50 && !offered; ++i) {
    size_t from = sh.pty().mark();
    sh.pty().type("cat Device.Hosts.Host.\t\t");
    offered = sh.pty().wait_for("2.  3.", from);
    if (offered) EXPECT_EQ(sh.pty().text().find("1.", from), std::string::npos);
    drop_line(sh);
    if (!offered) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(offered) << sh.pty().text();
  sh.quit("q\r");
}

// `opt autocomplete off`: Tab inserts nothing.
TEST(Completion, OptAutocompleteOff) {
  Emulator sim;
  Shell sh(sim);
  EXPECT_EQ(sh.run("opt autocomplete off"), "");
  EXPECT_TRUE(shows(sh, "pw\t\r", "pw: command not found."));
  EXPECT_EQ(sh.run("opt autocomplete on"), "");
  EXPECT_TRUE(shows(sh, "pw\t\r", "pwd \n:\n"));
  sh.quit("q\r");
}

// Hints: the rest of the only candidate after the cursor in the hint colour, erased as the line
// changes and before Enter; `opt hint off` stops them.
TEST(Completion, HintsAppearAndDisappear) {
  Emulator sim;
  Shell sh(sim, {}, "", /*colours=*/true);
  const std::string hint_colour = k::hsv_sequence(k::ColourTable{}.entries[k::kColourHint]);
  auto raw_since = [&](size_t from) { return sh.pty().raw().substr(from); };

  size_t from = sh.pty().raw().size();
  sh.pty().type("he");
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string&) {
    return raw_since(from).find(hint_colour + "lp\033[0m\033[2D") != std::string::npos;
  })) << raw_since(from);
  // A letter that leaves no candidate erases the hint and draws none.
  from = sh.pty().raw().size();
  sh.pty().type("x");
  ASSERT_TRUE(sh.pty().wait_until(
      [&](const std::string&) { return raw_since(from).find('x') != std::string::npos; }));
  EXPECT_EQ(raw_since(from).rfind("\033[K", 0), 0u) << raw_since(from);
  EXPECT_EQ(raw_since(from).find(hint_colour), std::string::npos) << raw_since(from);
  drop_line(sh);

  // Enter: the hint is erased before the line ends.
  from = sh.pty().raw().size();
  sh.pty().type("cd Device.DeviceIn");
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string&) {
    return raw_since(from).find(hint_colour + "fo.") != std::string::npos;
  })) << raw_since(from);
  from = sh.pty().raw().size();
  size_t screen_from = sh.pty().mark();
  sh.pty().type("\r");
  ASSERT_TRUE(sh.pty().wait_for("velc:Device.DeviceInfo.> ", screen_from));
  EXPECT_EQ(raw_since(from).rfind("\033[K", 0), 0u) << raw_since(from);

  // (Typed rather than run: the screen text of a line typed with hints holds the hints too.)
  size_t mark = sh.pty().mark();
  sh.pty().type("opt hint off\r");
  ASSERT_TRUE(sh.pty().wait_until(
      [&](const std::string& s) { return e2e::ends_with_prompt(s.substr(mark)); }));
  from = sh.pty().raw().size();
  sh.pty().type("he");
  drop_line(sh);
  EXPECT_EQ(raw_since(from).find(hint_colour), std::string::npos) << raw_since(from);
  sh.quit("q\r");
}

}  // namespace
