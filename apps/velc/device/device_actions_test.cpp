// reboot, reset and save: what each sends for each argument form, what it prints and gives.
#include "device/device_actions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;
using testing_support::args;

constexpr const char* kOk = R"({"Status":0})";

struct Case {
  const char* name;  // the command name the handler is called with
  std::vector<const char*> words;
  int status;
  const char* printed;
  Strings sent;
};

// Runs each case against a daemon that accepts exactly the requests of `accepted` and refuses
// the others with `refusal`.
void run_cases(int (*handler)(CommandContext&, const std::string&, json_t*),
               const std::vector<Case>& cases, const Strings& accepted, const char* refusal) {
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    for (const auto& request : accepted) daemon.reply(request, kOk);
    for (const auto& request : c.sent)
      if (std::find(accepted.begin(), accepted.end(), request) == accepted.end())
        daemon.reply(request, refusal);
    testing_support::TestClient t;
    t.session.requests.set_destination(daemon.path());
    k::Json a = args(c.words);
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
  const std::vector<Case> cases = {
      {"reboot", {}, 0, "Status: OK\n", {"Reboot {}"}},
      {"reboot", {"-f", "-f"}, 0, "Status: OK\n", {R"(Reboot {"Force":true})"}},
      {"reboot", {"-f", "Repeater"}, 0, "Status: OK\n",
       {R"(Reboot {"Force":true,"DeviceMode":"Repeater"})"}},
      {"reboot", {"Repeater", "-f"}, 0, "Status: OK\n",
       {R"(Reboot {"DeviceMode":"Repeater","Force":true})"}},
      {"reboot", {"Repeater", "Router"}, -1, syntax, {}},
      // A refusal is reported, then the usage follows.
      {"reboot", {"Moon"}, -1,
       "[9007] Invalid parameter value\nsyntax: reboot [-f] [<DeviceMode>]\n",
       {R"(Reboot {"DeviceMode":"Moon"})"}},
  };
  run_cases(cmd_reboot, cases,
            {"Reboot {}", R"(Reboot {"Force":true})",
             R"(Reboot {"Force":true,"DeviceMode":"Repeater"})",
             R"(Reboot {"DeviceMode":"Repeater","Force":true})"},
            R"({"code":9007,"message":"Invalid parameter value"})");
}

TEST(ResetCommand, AnOptionalDeviceMode) {
  const std::vector<Case> cases = {
      {"reset", {}, 0, "Status: OK\n", {"FactoryReset"}},
      {"reset", {"Router"}, 0, "Status: OK\n", {R"(FactoryReset {"DeviceMode":"Router"})"}},
      {"reset", {"Router", "now"}, -1, "syntax: reset <DeviceMode>\n", {}},
      // veld's refusal is reported; the command itself went as asked.
      {"reset", {"Moon"}, 0, "[9001] Request denied\n", {R"(FactoryReset {"DeviceMode":"Moon"})"}},
  };
  run_cases(cmd_reset, cases, {"FactoryReset", R"(FactoryReset {"DeviceMode":"Router"})"},
            R"({"code":9001,"message":"Request denied"})");
}

TEST(SaveCommand, AnOptionalRestorePointName) {
  const std::vector<Case> cases = {
      {"save", {}, 0, "Status: OK\n", {"SaveConfig"}},
      {"save", {"before-upgrade", "ignored"}, 0, "Status: OK\n",
       {R"(SaveConfig {"RestorePointName":"before-upgrade"})"}},
      {"save", {"full"}, 0, "[9002] Internal error: no state folder\n",
       {R"(SaveConfig {"RestorePointName":"full"})"}},
  };
  run_cases(cmd_save, cases,
            {"SaveConfig", R"(SaveConfig {"RestorePointName":"before-upgrade"})"},
            R"({"code":9002,"message":"Internal error","detail":"no state folder"})");
}

}  // namespace
