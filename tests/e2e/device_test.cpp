// The device commands end to end in request mode: what save, reboot, reset, select and debug do
// to the emulated device and to the process velc was started from. Their arguments are the unit
// tests'.
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

// velc logged in as `auth` ("user:password") in request mode.
e2e::Run as(const Emulator& sim, const std::string& auth, Strings words) {
  words.insert(words.begin(), {"--auth", auth, "-r"});
  return e2e::velc(sim, words);
}

const char* const kAdmin = "admin:admin";
const Strings kNtp = {"cat", "Device.Time.NTPServer1"};

// The NTP server once the emulator serves again after a reboot (velc cannot connect meanwhile).
std::string ntp_after_reboot(const Emulator& sim) {
  e2e::Run r;
  e2e::eventually([&] { return (r = as(sim, kAdmin, kNtp)).status == 0; });
  return r.out;
}

// Saved changes survive a reboot, unsaved ones do not; a factory reset brings the model's values
// back and erases the saved ones; only a user with system access may do either.
TEST(DeviceCommands, SaveRebootAndResetActOnTheDevice) {
  k::test::TempDir state;
  Emulator sim({"--access", e2e::accounts(), "--state", state.file("state"), "--reboot-time", "300"});
  const struct {
    std::string auth;
    Strings words;
    int status;
    std::string out;
  } steps[] = {
      {kAdmin, {"set", R"(Device.Time.NTPServer1="saved.example")"}, 0,
       "key = Device.Time.NTPServer1, value = \"saved.example\"\nStatus: OK\n"},
      {kAdmin, {"save", "known-good"}, 0, "Status: OK\n"},
      {kAdmin, {"set", R"(Device.Time.NTPServer1="unsaved.example")"}, 0,
       "key = Device.Time.NTPServer1, value = \"unsaved.example\"\nStatus: OK\n"},
      {kAdmin, {"reboot", "--", "-f"}, 0, "Status: OK\n"},
  };
  for (const auto& s : steps) {
    e2e::Run r = as(sim, s.auth, s.words);
    EXPECT_EQ(r.status, s.status) << s.words[0];
    EXPECT_EQ(r.out, s.out) << s.words[0];
  }
  EXPECT_EQ(ntp_after_reboot(sim), "NTPServer1 = 'saved.example'\n");
  EXPECT_EQ(as(sim, kAdmin, {"reset"}).out, "Status: OK\n");
  EXPECT_EQ(as(sim, kAdmin, kNtp).out, "NTPServer1 = '0.pool.ntp.org'\n");

  EXPECT_EQ(as(sim, kAdmin, {"select", "Device.Hosts.Host.[Active=true", "&", "AddressSource=DHCP].HostName"}).out,
            "Device.Hosts.Host.1.\n└── HostName = 'office-pc'\nDevice.Hosts.Host.2.\n└── HostName = 'pixel-8'\n"
                   "Device.Hosts.Host.5.\n└── HostName = 'smart-plug'\n");
}

// `debug` proves the user with the password and, once veld switched, hangs up the login shell
// velc was started from: here a shell of the test's own that reports the signal.
TEST(DeviceCommands, DebugChecksThePasswordAndHangsUpTheParent) {
  Emulator sim({"--access", e2e::accounts()});
  auto debug = [&](const std::string& mode, const std::string& password) {
    return e2e::run("/bin/sh", {"-c", "trap 'echo parent: SIGHUP' HUP; \"$@\"; status=$?; exit $status", "sh",
                                e2e::bin_dir() + "/velc", "-u", sim.socket(), "--auth", kAdmin, "-r", "debug", mode},
                    password + "\n");
  };
  EXPECT_EQ(debug("temporary", "guess").out,
            "[velc] password for current user: \n[9001] Request denied: wrong password\n");
  EXPECT_EQ(debug("permanent", "admin").out,
            "[velc] password for current user: \nStatus: OK\n"
            "You must log out and log back in for the changes to take effect.\nparent: SIGHUP\n");
  EXPECT_EQ(as(sim, kAdmin, {"cat", "Device.System.DebugMode"}).out, "DebugMode = 'Permanent'\n");
}

}  // namespace
