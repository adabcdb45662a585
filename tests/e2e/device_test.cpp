// The device commands end to end in request mode: words beginning with "-" after "--", argument
// errors refused before anything is sent, and the shell-only login command refused; then what
// each command does to the emulated device.
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "platform/json.h"
#include "testing/temp_dir.h"

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
      {{"-r", "debug", "loud"}, 255, "syntax: change system debug mode: Disabled|Temporary|Permanent\n"},
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

// Runs velc logged in as `auth` ("user:password") in request mode.
e2e::Run as(const Emulator& sim, const std::string& auth, Strings words, const std::string& input = "") {
  Strings args = {"--auth", auth, "-r"};
  args.insert(args.end(), words.begin(), words.end());
  return e2e::velc(sim, args, input);
}

const char* const kAdmin = "admin:admin";
const Strings kNtp = {"cat", "Device.Time.NTPServer1"};

// Waits for the emulator to serve again after a reboot: velc cannot connect meanwhile.
e2e::Run wait_for_reboot(const Emulator& sim) {
  e2e::Run r;
  for (int i = 0; i < 200; ++i) {
    r = as(sim, kAdmin, kNtp);
    if (r.status == 0) break;
    usleep(50 * 1000);
  }
  return r;
}

// Saved changes survive a reboot, unsaved ones do not; a factory reset brings the model's
// values back; only a user with system access may do either.
TEST(DeviceCommands, SaveRebootAndResetActOnTheDevice) {
  k::test::TempDir state;
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json", "--state",
                state.file("state"), "--reboot-time", "300"});
  const Strings set_saved = {"set", R"(Device.Time.NTPServer1="saved.example")"};
  const Strings set_unsaved = {"set", R"(Device.Time.NTPServer1="unsaved.example")"};
  const struct {
    std::string auth;
    Strings words;
    int status;
    std::string out;
  } steps[] = {
      {"support:support", {"reboot"}, 255,
       "[9001] Request denied: Reboot needs a user with system access\n"
       "syntax: reboot [-f] [<DeviceMode>]\n"},
      {"support:support", {"save", "before"}, 0,
       "[9001] Request denied: SaveConfig needs a user with system access\n"},
      {kAdmin, set_saved, 0, "key = Device.Time.NTPServer1, value = \"saved.example\"\nStatus: OK\n"},
      {kAdmin, {"save", "known-good"}, 0, "Status: OK\n"},
      {kAdmin, set_unsaved, 0,
       "key = Device.Time.NTPServer1, value = \"unsaved.example\"\nStatus: OK\n"},
      {kAdmin, {"reboot", "--", "-f"}, 0, "Status: OK\n"},
  };
  for (const auto& s : steps) {
    e2e::Run r = as(sim, s.auth, s.words);
    EXPECT_EQ(r.status, s.status) << s.words[0];
    EXPECT_EQ(r.out, s.out) << s.words[0];
  }
  e2e::Run after = wait_for_reboot(sim);
  EXPECT_EQ(after.out, "NTPServer1 = 'saved.example'\n");

  EXPECT_EQ(as(sim, kAdmin, {"reset"}).out, "Status: OK\n");
  EXPECT_EQ(as(sim, kAdmin, kNtp).out, "NTPServer1 = '0.pool.ntp.org'\n");
  // The reset erased the saved configuration: a reboot keeps the model's values.
  EXPECT_EQ(as(sim, kAdmin, {"reboot"}).out, "Status: OK\n");
  EXPECT_EQ(wait_for_reboot(sim).out, "NTPServer1 = '0.pool.ntp.org'\n");
}

TEST(DeviceCommands, SelectDrawsEachSelectedObject) {
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json"});
  e2e::Run r = as(sim, kAdmin, {"select", "Device.Hosts.Host.[Active=true", "&", "AddressSource=DHCP].HostName"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Device.Hosts.Host.1.\n└── HostName = 'office-pc'\n"
            "Device.Hosts.Host.2.\n└── HostName = 'pixel-8'\n"
            "Device.Hosts.Host.5.\n└── HostName = 'smart-plug'\n");
  r = as(sim, kAdmin, {"select", "Device.Hosts.Hots.*."});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "[9005] Invalid parameter name: Device.Hosts.Hots: no such node\n");
}

// `debug` proves the user with the password and, once veld switched, hangs up the login shell
// velc was started from: here a shell of the test's own that reports the signal.
TEST(DeviceCommands, DebugChecksThePasswordAndHangsUpTheParent) {
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json"});
  auto debug = [&](const std::string& mode, const std::string& password) {
    return e2e::run("/bin/sh",
                    {"-c", "trap 'echo parent: SIGHUP' HUP; \"$@\"; status=$?; exit $status", "sh",
                     e2e::bin_dir() + "/velc", "-u", sim.socket(), "--auth", kAdmin, "-r",
                     "debug", mode},
                    password + "\n");
  };
  e2e::Run wrong = debug("temporary", "guess");
  EXPECT_EQ(wrong.out, "[velc] password for current user: \n[9001] Request denied: wrong password\n");
  e2e::Run right = debug("permanent", "admin");
  EXPECT_EQ(right.out,
            "[velc] password for current user: \nStatus: OK\n"
            "You must log out and log back in for the changes to take effect.\n"
            "parent: SIGHUP\n");
  EXPECT_EQ(as(sim, kAdmin, {"cat", "Device.System.DebugMode"}).out, "DebugMode = 'Permanent'\n");
}

}  // namespace
