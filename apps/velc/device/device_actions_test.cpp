// reboot: what it sends for each argument form, what it prints and gives (reset, save and
// debug are seen end to end).
#include "device/device_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;

// What each argument form sends (veld accepts the forms with a valid mode), prints and gives.
TEST(RebootCommand, ForceOnceAndOneModeInAnyOrder) {
  const std::string syntax = "syntax: reboot [-f] [<DeviceMode>]\n";
  const struct {
    std::vector<const char*> words;
    int status;
    std::string printed;
    Strings sent;
  } cases[] = {
      {{}, 0, "Status: OK\n", {"Reboot {}"}},
      {{"Repeater", "-f"}, 0, "Status: OK\n", {R"(Reboot {"DeviceMode":"Repeater","Force":true})"}},
      {{"-f", "-f"}, 0, "Status: OK\n", {R"(Reboot {"Force":true})"}},
      {{"Repeater", "Router"}, -1, syntax, {}},
      // A refusal is reported, then the usage follows.
      {{"Moon"}, -1, "[9007] Invalid parameter value\n" + syntax, {R"(Reboot {"DeviceMode":"Moon"})"}},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    for (const auto& request : c.sent)
      daemon.reply(request, c.status == 0 ? R"({"Status":0})"
                                          : R"({"code":9007,"message":"Invalid parameter value"})");
    testing_support::TestClient t;
    t.client.out = t.stream.file;
    t.session.requests.set_destination(daemon.path());
    EXPECT_EQ(cmd_reboot(t.client, "reboot", testing_support::args(c.words).get()), c.status) << c.printed;
    EXPECT_EQ(t.text(), c.printed);
    EXPECT_EQ(daemon.take_requests(), c.sent) << c.printed;
  }
}

}  // namespace
