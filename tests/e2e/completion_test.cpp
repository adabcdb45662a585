// Completion on Tab and hints while typing, through the keyboard of the shell on a
// pseudo-terminal against veld-sim. The rules themselves are the unit tests'.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"
#include "platform/colors.h"

namespace {

using e2e::Emulator;
using e2e::Shell;
using Words = std::vector<std::string>;

// Types `keys` and waits until the screen after that point holds `wanted`.
testing::AssertionResult shows(Shell& sh, const std::string& keys, const std::string& wanted) {
  size_t from = sh.pty().mark();
  sh.pty().type(keys);
  if (sh.pty().wait_for(wanted, from)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "typed '" << keys << "', wanted '" << wanted << "', screen:\n"
                                     << sh.pty().text().substr(from);
}

// Drops the line being typed (Ctrl-C) and waits for the fresh prompt.
void drop_line(Shell& sh) {
  size_t from = sh.pty().mark();
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) { return e2e::ends_with_prompt(s.substr(from)); }))
      << sh.pty().text().substr(from);
}

// Types `typed` and Tab twice: the words of the candidate list shown below the line, which is
// then drawn again as it was.
Words listed(Shell& sh, const std::string& typed) {
  size_t from = sh.pty().mark();
  sh.pty().type(typed + "\t\t");
  auto redrawn = [&](const std::string& s) {
    size_t echo = s.find(typed, from);
    return echo != std::string::npos && s.find("> " + typed, echo + typed.size()) != std::string::npos;
  };
  if (!sh.pty().wait_until(redrawn)) return {"(no list)"};
  std::string s = sh.pty().text();
  size_t begin = s.find(typed, from) + typed.size();
  std::string between = s.substr(begin, s.rfind('\n', s.find("> " + typed, begin)) - begin);
  std::erase(between, '\a');  // the first Tab rings: it had nothing to add
  std::istringstream list(between);
  Words words;
  for (std::string w; list >> w;) words.push_back(w);
  return words;
}

TEST(Completion, TabCompletesAndListsThroughTheKeyboard) {
  Emulator sim({"--hosts", "2"});
  Shell sh(sim);
  const std::pair<const char*, const char*> inserted[] = {  // typed with one Tab, then shown
      {"pw\t", "pwd "},
      {"cd Device.Hos\t", "cd Device.Hosts."},
      {"set Device.Time.Enable=t\t", "=true "},
      {"sh ech\t", "sh echo "},  // a program along PATH
      {"execute Device.IP.Diagnostics.Ping. Numb\t", "Ping. NumberOfRepetitions"},
  };
  for (const auto& [keys, wanted] : inserted) {
    EXPECT_TRUE(shows(sh, keys, wanted));
    drop_line(sh);
  }
  EXPECT_EQ(listed(sh, "cat Device.Hosts.Host."), (Words{"1.", "2.", "max_instance"}));
  drop_line(sh);
  EXPECT_EQ(listed(sh, "reboot "), (Words{"-f", "AccessPoint", "Bridge", "Repeater", "Router"}));
  drop_line(sh);
  // A completed line runs as typed; with `opt autocomplete off` Tab inserts nothing.
  EXPECT_TRUE(shows(sh, "cd Device.Hos\t\r", "velc:Device.Hosts> "));
  EXPECT_EQ(sh.run("opt autocomplete off"), "");
  EXPECT_TRUE(shows(sh, "pw\t\r", "pw: command not found.\nvelc:Device.Hosts> "));
  sh.quit("q\r");

  // Many candidates: the shell asks before listing them, and "n" gives the line back unchanged.
  Emulator many({"--hosts", "150"});
  Shell asked(many);
  EXPECT_TRUE(shows(asked, "cat Device.Hosts.Host.\t\t", "Display all 151 possibilities? (y or n)"));
  EXPECT_TRUE(shows(asked, "n", "velc:> cat Device.Hosts.Host."));
  drop_line(asked);
  asked.quit("q\r");
}

// Hints: the rest of the only candidate after the cursor in the hint colour, erased as the line
// changes and before Enter; `opt hint off` stops them.
TEST(Completion, HintsAppearAndDisappear) {
  Emulator sim;
  Shell sh(sim, {}, "", /*colours=*/true);
  const std::string hint_colour = k::hsv_sequence(k::ColourTable{}.entries[k::kColourHint]);
  auto raw_since = [&](size_t from) { return sh.pty().raw().substr(from); };
  size_t from = sh.pty().raw().size();
  sh.pty().type("cd Device.DeviceIn");
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string&) {
    return raw_since(from).find(hint_colour + "fo.\033[0m\033[3D") != std::string::npos;
  })) << raw_since(from);
  // A letter that leaves no candidate erases the hint and draws none.
  from = sh.pty().raw().size();
  sh.pty().type("x");
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string&) { return raw_since(from).find('x') != std::string::npos; }));
  EXPECT_EQ(raw_since(from).rfind("\033[K", 0), 0u) << raw_since(from);
  EXPECT_EQ(raw_since(from).find(hint_colour), std::string::npos) << raw_since(from);
  sh.pty().type("\x7f");  // Backspace: the hint is back
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string&) {
    return raw_since(from).find(hint_colour + "fo.") != std::string::npos;
  })) << raw_since(from);
  from = sh.pty().raw().size();
  size_t screen_from = sh.pty().mark();
  sh.pty().type("\r");
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) {  // the line ran as typed
    return s.find("no such node", screen_from) != std::string::npos && e2e::ends_with_prompt(s.substr(screen_from));
  }));
  EXPECT_EQ(raw_since(from).rfind("\033[K", 0), 0u) << raw_since(from);

  // (Typed rather than run: the screen text of a line typed with hints holds the hints too.)
  size_t mark = sh.pty().mark();
  sh.pty().type("opt hint off\r");
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) { return e2e::ends_with_prompt(s.substr(mark)); }));
  from = sh.pty().raw().size();
  sh.pty().type("he");
  drop_line(sh);
  EXPECT_EQ(raw_since(from).find(hint_colour), std::string::npos) << raw_since(from);
  sh.quit("q\r");
}

}  // namespace
