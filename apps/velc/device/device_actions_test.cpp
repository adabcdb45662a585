// reboot, reset, save and debug: what each sends for each argument form, what it prints and
// gives (the hang-up of the parent process that an accepted debug change brings is seen end to
// end).
#include "device/device_actions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "device/debug.h"
#include "testing/stdin_feed.h"
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
// the others with `refusal`; the keyboard gives "pw".
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
    StdinFeed keyboard("pw\n");
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

TEST(ResetAndSave, AnOptionalDeviceModeOrRestorePointName) {
  const std::vector<Case> cases = {
      {"reset", {}, 0, "Status: OK\n", {"FactoryReset"}},
      {"reset", {"Router", "now"}, -1, "syntax: reset <DeviceMode>\n", {}},
      // veld's refusal is reported; the command itself went as asked.
      {"reset", {"Moon"}, 0, "[9002] Internal error: no\n", {R"(FactoryReset {"DeviceMode":"Moon"})"}},
      {"save", {"before-upgrade", "ignored"}, 0, "Status: OK\n",
       {R"(SaveConfig {"RestorePointName":"before-upgrade"})"}},
  };
  for (const Case& c : cases)
    run_cases(std::string(c.name) == "reset" ? cmd_reset : cmd_save, {c},
              {"FactoryReset", R"(SaveConfig {"RestorePointName":"before-upgrade"})"},
              R"({"code":9002,"message":"Internal error","detail":"no"})");
}

// The password is asked for the modes that need it (none is the end of input), and nothing is
// read for the others. Refused requests only: an accepted one would hang up the test's parent.
TEST(DebugCommand, ModesPasswordAndSyntax) {
  auto execute = [](const std::string& mode, const char* password) {
    return R"(Execute {"MethodName":"Device.System.Debug","ParameterList":[{"Name":"Mode","Value":")" +
           mode + "\"}" + (password ? R"(,{"Name":"UserPassword","Value":")" + std::string(password) + "\"}" : "") + "]}";
  };
  const std::string refused = "[9001] Request denied: wrong password\n",
                    prompt = "[velc] password for current user: \n";
  const std::vector<Case> cases = {
      {"debug", {"TEMPORARY"}, 0, prompt + refused, {execute("Temporary", "pw")}},
      {"debug", {"Disabled"}, 0, refused, {execute("Disabled", nullptr)}},
      {"debug", {"on"}, -1, "syntax: change system debug mode: Disabled|Temporary|Permanent\n", {}},
  };
  run_cases(cmd_debug, cases, {}, R"({"code":9001,"message":"Request denied","detail":"wrong password"})");
}

}  // namespace
