// reboot: what it sends for each argument form, what it prints and gives (reset, save and
// debug are seen end to end).
#include "device/device_actions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kOk = R"({"Status":0})";

struct Case {
  const char* name;  // the command name the handler is called with
  std::vector<const char*> words;
  int status;
  std::string printed;
  Strings sent;
};

// Runs each case against a daemon that accepts exactly the requests of `accepted` and refuses
// the others with `refusal`.
void run_cases(int (*handler)(CommandContext&, const std::string&, json_t*),
               const std::vector<Case>& cases, const Strings& accepted, const char* refusal) {
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    for (const auto& request : c.sent)
      daemon.reply(request, std::count(accepted.begin(), accepted.end(), request) ? kOk : refusal);
    testing_support::TestClient t;
    t.session.requests.set_destination(daemon.path());
    k::Json a = testing_support::args(c.words);
    std::string label = std::string(c.name) + " " + std::to_string(c.words.size());
    int status = 0;
    EXPECT_EQ(output_of([&] { status = handler(t.client, c.name, a.get()); }), c.printed)
        << label;
    EXPECT_EQ(status, c.status) << label;
    EXPECT_EQ(daemon.take_requests(), c.sent) << label;
  }
}

TEST(RebootCommand, ForceOnceAndOneModeInAnyOrder) {
  const char* syntax = "syntax: reboot [-f] [<DeviceMode>]\n";
  const char* forced = R"(Reboot {"DeviceMode":"Repeater","Force":true})";
  const std::vector<Case> cases = {
      {"reboot", {}, 0, "Status: OK\n", {"Reboot {}"}},
      {"reboot", {"Repeater", "-f"}, 0, "Status: OK\n", {forced}},
      {"reboot", {"-f", "-f"}, 0, "Status: OK\n", {R"(Reboot {"Force":true})"}},
      {"reboot", {"Repeater", "Router"}, -1, syntax, {}},
      // A refusal is reported, then the usage follows.
      {"reboot", {"Moon"}, -1, std::string("[9007] Invalid parameter value\n") + syntax,
       {R"(Reboot {"DeviceMode":"Moon"})"}},
  };
  run_cases(cmd_reboot, cases, {"Reboot {}", forced, R"(Reboot {"Force":true})"},
            R"({"code":9007,"message":"Invalid parameter value"})");
}

}  // namespace
