// The device commands end to end in request mode: words beginning with "-" after "--", argument
// errors refused before anything is sent, and the shell-only login command refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "platform/json.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

TEST(DeviceCommands, ArgumentErrorsSendNothing) {
  struct Case {
    Strings args;
    int status;
    std::string output;
  };
  const Case cases[] = {
      {{"-r", "reboot", "--", "-f", "Router", "Repeater"}, 255,
       "syntax: reboot [-f] [<DeviceMode>]\n"},
      {{"-r", "Reboot", "--", "-f", "-f", "-f"}, 255, "syntax: Reboot [-f] [<DeviceMode>]\n"},
      {{"-r", "reset", "Router", "now"}, 255, "syntax: reset <DeviceMode>\n"},
      {{"-r", "debug", "loud"}, 255, "syntax: change system debug mode\n"},
      {{"-r", "select"}, 255, "syntax: select <selector>\n"},
      {{"-r", "login", "--", "admin", "-x"}, 255, "syntax: login [<login> [-p <password>]]\n"},
      {{"-r", "logout", "now"}, 255, "syntax: logout\n"},
      {{"-r", "login_if_guest", "admin"}, 255, "login_if_guest: unknown method.\n"},
      {{"-r", "sh", "--", "echo", "-n", "run", "by", "sh"}, 0, "run by sh"},
  };
  Emulator sim;
  for (const auto& c : cases) {
    sim.clear_requests();
    e2e::Run r = e2e::velc(sim, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    EXPECT_EQ(r.out, c.output) << c.args[1];
    Strings sent;
    for (const std::string& line : sim.requests()) {
      std::string method = k::json_text(k::json_parse(line).get(), "method");
      if (method != "JoinGroup") sent.push_back(method);
    }
    EXPECT_EQ(sent, Strings{}) << c.args[1];
  }
}

}  // namespace
