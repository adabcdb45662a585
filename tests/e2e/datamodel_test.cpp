// The data-model and device commands end to end against veld-sim: request mode (no schema cache:
// paths go as typed, veld describes what set and execute convert), the shell fed through a pipe
// (the schema cache), and what save, reboot, reset, select and debug do to the emulated device
// and to the process velc was started from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

std::string attributes(const std::string& names, int depth) {
  return R"(GetParameterAttributes {"ParameterNames":[)" + names + R"(],"Depth":)" + std::to_string(depth) + "}";
}

TEST(DatamodelRequestMode, CommandsSendThePathAsTypedAndReportTheOutcome) {
  const struct {
    Strings words;
    int status;
    std::string out;
    Strings sent;
  } cases[] = {
      // A path that names no object is asked for again as a parameter.
      {{"-r", "ls", "Device.DeviceInfo.Manufacturer"}, 0, "Device.DeviceInfo.Manufacturer\n",
       {R"(GetParameterNames {"ParameterPath":"Device.DeviceInfo.Manufacturer.","NextLevel":true})",
        R"(GetParameterNames {"ParameterPath":"Device.DeviceInfo.Manufacturer","NextLevel":true})"}},
      // veld describes each parameter; a value loses the quotes a shell would take off.
      {{"-r", "set", R"(Device.DeviceInfo.ProvisioningCode="ISP.TEST")", "Device.Time.Enable=false"}, 0,
       "key = Device.DeviceInfo.ProvisioningCode, value = \"ISP.TEST\"\n"
       "key = Device.Time.Enable, value = false\nStatus: OK\n",
       {attributes(R"("Device.DeviceInfo.ProvisioningCode")", 0), attributes(R"("Device.Time.Enable")", 0),
        R"(SetParameterValues {"ParameterList":[{"Name":"Device.DeviceInfo.ProvisioningCode",)"
        R"("Value":"ISP.TEST"},{"Name":"Device.Time.Enable","Value":false}]})"}},
      // add exits with the new instance's number, the first one's too.
      {{"-r", "add", "Device.Hosts.Host"}, 1, "Instance number: 1\nStatus: OK\n", {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}},
      // A value that does not convert is refused, never sent.
      {{"-r", "execute", "Device.IP.Diagnostics.Ping", "NumberOfRepetitions=two"}, 255,
       "key = NumberOfRepetitions, value = two\nexecute: NumberOfRepetitions: invalid value two.\n",
       {attributes(R"("Device.IP.Diagnostics.Ping.#input.")", -1)}},
  };
  Emulator sim({"--hosts", "0"});  // an empty table of hosts
  for (const auto& c : cases) {
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, c.words);
    SCOPED_TRACE(testing::PrintToString(c.words));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out + run.err, c.out);
    EXPECT_EQ(e2e::sent(sim), c.sent);
  }
}

// The shell fed through a pipe: what it printed. Checks that the shell
// ended cleanly (under the sanitizers, a report makes the status non-zero).
std::string shell(const Emulator& sim, const std::string& input) {
  e2e::Run run = e2e::velc(sim, {}, input);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  return run.out;
}

// The schema cache fetches a level when it is first needed (a name typed in another case finds
// its node once its parent was fetched), once, and a table in one go; the instance commands
// complete their paths from it, and `take` moves into the instance it added. The shell converts
// a value by the parameter's type from the cache.
TEST(DatamodelShell, TheSchemaIsFetchedLazilyOnceAndATableInOneGo) {
  Emulator sim({"--hosts", "5000"});
  std::string input = "cd Device\ncd DeviceInfo\ncd <\ncd deviceinfo\ncd :Device.Hosts.Host.1\n";
  for (int i = 2; i <= 5000; i += 97) input += "cd :device.hosts.host." + std::to_string(i) + "\n";
  std::string out = shell(sim, input + "cd <.4999.hostname\npwd\n");
  EXPECT_NE(out.find("\n:Device.Hosts.Host.4999.HostName\n"), std::string::npos) << out;
  EXPECT_EQ(e2e::sent(sim, "GetParameterNames").size(), 1u);
  Strings fetched = e2e::sent(sim, "GetParameterAttributes");
  ASSERT_EQ(fetched.size(), 5u) << testing::PrintToString(fetched);  // root, Device, Hosts, the table, its instances
  EXPECT_NE(fetched[4].find(R"("Device.Hosts.Host.5000.")"), std::string::npos);
  sim.clear_requests();
  out = shell(sim, "cd Device.Hosts\ntake Host\ndel <.1\ndel <.2.HostName\nset :Device.DHCPv4.Server.Pool.1.LeaseTime=0x10\n");
  EXPECT_NE(out.find("Instance number: 5001\nStatus: OK\nvelc:Device.Hosts.Host.5001> "), std::string::npos) << out;
  EXPECT_EQ(e2e::sent(sim, "AddObject"), Strings{R"(AddObject {"ObjectName":"Device.Hosts.Host."})"});
  EXPECT_EQ(e2e::sent(sim, "DeleteObject"), (Strings{R"(DeleteObject {"ObjectName":"Device.Hosts.Host.1."})",
                                                     R"(DeleteObject {"ObjectName":"Device.Hosts.Host.2.HostName"})"}));
  EXPECT_EQ(e2e::sent(sim, "SetParameterValues"),
            Strings{R"(SetParameterValues {"ParameterList":[{"Name":"Device.DHCPv4.Server.Pool.1.LeaseTime","Value":16}]})"});
}

// velc logged in as admin in request mode.
e2e::Run as_admin(const Emulator& sim, Strings words) {
  words.insert(words.begin(), {"--auth", "admin:admin", "-r"});
  return e2e::velc(sim, words);
}

// Saved changes survive a reboot, unsaved ones do not; a factory reset brings the model's values
// back; select takes a condition of several words. `debug` proves the user with the password and,
// once veld switched, hangs up the login shell velc was started from: here a shell of the test's
// own that reports the signal.
TEST(DeviceCommands, SaveRebootResetSelectAndDebugActOnTheDevice) {
  k::test::TempDir state;
  Emulator sim({"--access", e2e::accounts(), "--state", state.file("state"), "--reboot-time", "300"});
  const Strings ntp = {"cat", "Device.Time.NTPServer1"};
  const std::pair<Strings, std::string> steps[] = {
      {{"set", R"(Device.Time.NTPServer1="saved.example")"}, "key = Device.Time.NTPServer1, value = \"saved.example\"\nStatus: OK\n"},
      {{"save", "known-good"}, "Status: OK\n"},
      {{"set", R"(Device.Time.NTPServer1="unsaved")"}, "key = Device.Time.NTPServer1, value = \"unsaved\"\nStatus: OK\n"},
      {{"reboot", "--", "-f"}, "Status: OK\n"},
  };
  for (const auto& [words, out] : steps) EXPECT_EQ(as_admin(sim, words).out, out) << words[0];
  e2e::Run r;  // velc cannot connect while the device reboots
  e2e::eventually([&] { return (r = as_admin(sim, ntp)).status == 0; });
  EXPECT_EQ(r.out, "NTPServer1 = 'saved.example'\n");
  EXPECT_EQ(as_admin(sim, {"reset"}).out, "Status: OK\n");
  EXPECT_EQ(as_admin(sim, ntp).out, "NTPServer1 = '0.pool.ntp.org'\n");
  EXPECT_EQ(as_admin(sim, {"select", "Device.Hosts.Host.[Active=true", "&", "AddressSource=DHCP].HostName"}).out,
            "Device.Hosts.Host.1.\n└── HostName = 'office-pc'\nDevice.Hosts.Host.2.\n└── HostName = 'pixel-8'\n"
            "Device.Hosts.Host.5.\n└── HostName = 'smart-plug'\n");
  std::vector<std::string> shell = {"-c", "trap 'echo parent: SIGHUP' HUP; \"$@\"; status=$?; exit $status", "sh"};
  for (const std::string& word : e2e::command({e2e::bin_dir() + "/velc", "-u", sim.socket(), "--auth", "admin:admin",
                                               "-r", "debug", "permanent"}))
    shell.push_back(word);
  r = e2e::run("/bin/sh", shell, "admin\n");
  EXPECT_EQ(r.out, "[velc] password for current user: \nStatus: OK\n"
                   "You must log out and log back in for the changes to take effect.\nparent: SIGHUP\n");
  EXPECT_EQ(as_admin(sim, {"cat", "Device.System.DebugMode"}).out, "DebugMode = 'Permanent'\n");
}

}  // namespace
