// Completion on Tab and hints while typing, in the shell on a pseudo-terminal against veld-sim.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

// Types `typed` and Tab twice: the words of the candidate list shown below the line, which is
// then drawn again as it was (readline lays the list out in columns of its own width).
std::vector<std::string> listed(Shell& sh, const std::string& typed) {
  size_t from = sh.pty().mark();
  sh.pty().type(typed + "\t\t");
  auto redrawn = [&](const std::string& s) {
    size_t echo = s.find(typed, from);
    return echo != std::string::npos && s.find("> " + typed, echo + typed.size()) != std::string::npos;
  };
  if (!sh.pty().wait_until(redrawn)) return {"(no list)"};
  std::string s = sh.pty().text();
  size_t begin = s.find(typed, from) + typed.size();
  size_t end = s.rfind('\n', s.find("> " + typed, begin));
  std::string between = s.substr(begin, end - begin);
  std::erase(between, '\a');  // the first Tab rings: it had nothing to add
  std::istringstream list(between);
  std::vector<std::string> words;
  for (std::string w; list >> w;) words.push_back(w);
  return words;
}

// Drops the line being typed (Ctrl-C) and waits for the fresh prompt.
void drop_line(Shell& sh) {
  size_t from = sh.pty().mark();
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until(
      [&](const std::string& s) { return e2e::ends_with_prompt(s.substr(from)); }))
      << sh.pty().text().substr(from);
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
      {"set Device.Time.Enable=t", "\t", "=true "},
      {"opt h", "\t", "opt hint "},
      {"sh ech", "\t", "sh echo "},                                  // a program along PATH
      {"execute Device.IP.Diagnostics.Pi", "\t", "Diagnostics.Ping."},  // a method: no parameter
      {"execute Device.IP.Diagnostics.Ping. Numb", "\t", "Ping. NumberOfRepetitions"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(shows(sh, std::string(c.typed) + c.keys, c.wanted));
    drop_line(sh);
  }
  using Words = std::vector<std::string>;
  const struct {
    const char* typed;
    Words wanted;
  } lists[] = {
      {"cat Device.Hosts.Host.", {"1.", "2.", "max_instance"}},  // instances
      {"set Device.Time.Enable=", {"true", "false"}},            // booleans, in that order
      {"reboot ", {"-f", "AccessPoint", "Bridge", "Repeater", "Router"}},
      {"reboot -f Bridge ", {}},  // each offered once: nothing is left
      {"reset ", {"AccessPoint", "Bridge", "Repeater", "Router"}},
      {"color ", {"autocomplete", "hint", "prompt", "root-prompt"}},  // in the table's order
      {"debug ", {"disabled", "permanent", "temporary"}},
  };
  for (const auto& l : lists) {
    if (l.wanted.empty()) {
      size_t from = sh.pty().mark();
      sh.pty().type(std::string(l.typed) + "\t\t");
      sh.pty().type("x");  // the editor has taken the Tabs once the x is echoed
      ASSERT_TRUE(sh.pty().wait_for("x", from));
      EXPECT_EQ(sh.pty().text().find('\n', from), std::string::npos) << sh.pty().text().substr(from);
    } else {
      EXPECT_EQ(listed(sh, l.typed), l.wanted) << l.typed;
    }
    drop_line(sh);
  }
  // A completed line runs as typed.
  EXPECT_TRUE(shows(sh, std::string("cd Device.Hos") + kTab + "\r", "velc:Device.Hosts> "));
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
  using Words = std::vector<std::string>;
  EXPECT_EQ(listed(sh, "cat Device.Hosts.Host."), (Words{"1.", "2.", "max_instance"}));
  drop_line(sh);  // the cache holds the table now
  ASSERT_EQ(e2e::velc(sim, {"-r", "add", "Device.Hosts.Host."}).status, 3);  // its number
  ASSERT_EQ(e2e::velc(sim, {"-r", "del", "Device.Hosts.Host.1."}).status, 0);
  // The change events reach the shell on its own; Tab again until they have.
  const Words after{"2.", "3.", "max_instance"};
  Words shown;
  for (int i = 0; i < 50 && shown != after; ++i) {
    shown = listed(sh, "cat Device.Hosts.Host.");
    drop_line(sh);
    if (shown != after) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(shown, after);
  sh.quit("q\r");
}

// `opt autocomplete off`: Tab inserts nothing.
TEST(Completion, OptAutocompleteOff) {
  Emulator sim;
  Shell sh(sim);
  EXPECT_EQ(sh.run("opt autocomplete off"), "");
  EXPECT_TRUE(shows(sh, "pw\t\r", "pw: command not found.\nvelc:> "));
  EXPECT_EQ(sh.run("opt autocomplete on"), "");
  EXPECT_TRUE(shows(sh, "pw\t\r", "pwd \n:\nvelc:> "));
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
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) {  // the line ran as typed
    return s.find("no such node", screen_from) != std::string::npos &&
           e2e::ends_with_prompt(s.substr(screen_from));
  }));
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
