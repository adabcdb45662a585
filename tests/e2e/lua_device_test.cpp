// The Lua module norlan.device end to end against veld-sim: reading, listing, changing, methods,
// faults as Lua errors, rights, events, Ctrl-C, and the shipped examples that use it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "harness/process.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

// Runs `script` (the module already required as `device`) with velc's `options` first.
e2e::Run lua(const Emulator& sim, const std::string& script, Strings options = {}) {
  k::test::TempDir dir;
  e2e::write_file(dir.file("s.lua"), "local device = require('norlan.device')\n" + script);
  options.insert(options.end(), {"-S", dir.file("s.lua")});
  return e2e::velc(sim, options);
}

TEST(LuaDevice, ReadsListsChangesAndRunsMethods) {
  Emulator sim;
  // Prints a table's pairs sorted by key, "key=value (type)" one a line.
  const std::string dump = R"lua(
local function dump(t)
  local keys = {}
  for k in pairs(t) do keys[#keys + 1] = k end
  table.sort(keys)
  for _, k in ipairs(keys) do print(k .. "=" .. tostring(t[k]) .. " (" .. (math.type(t[k]) or type(t[k])) .. ")") end
end
)lua";
  const std::pair<std::string, std::string> cases[] = {  // script, output
      // Several at once, in one request; then one.
      {"print(device.set{['Device.WiFi.SSID.1.SSID'] = 'Home', ['Device.WiFi.Radio.2.TransmitPower'] = 50,"
       " ['Device.WiFi.Radio.1.Enable'] = false})\nprint(device.set('Device.WiFi.SSID.2.SSID', 'Home-5G'))\n"
       "dump(device.get{'Device.WiFi.Radio.1.Enable', 'Device.WiFi.SSID.2.SSID', 'Device.WiFi.Radio.2.TransmitPower'})",
       "true\ntrue\nDevice.WiFi.Radio.1.Enable=false (boolean)\nDevice.WiFi.Radio.2.TransmitPower=50 (integer)\n"
       "Device.WiFi.SSID.2.SSID=Home-5G (string)\n"},
      // An object path gives everything below it, the tables' pseudo-parameters too; as nested
      // tables, instances by number.
      {"local v = device.get('Device.Hosts.') local n = 0 for _ in pairs(v) do n = n + 1 end\n"
       "print(n, v['Device.Hosts.Host.3.HostName'])\nlocal t = device.tree('Device.Hosts')\n"
       "print(t.HostNumberOfEntries, t.Host.max_instance, t.Host[3].HostName, #device.names('Device.WiFi.SSID.', true))",
       "67\tnas\n5\t5\tnas\t4\n"},
      {"local i = device.add('Device.Hosts.Host.') local j = device.add('Device.Hosts.Host')\n"
       "print(i, j, math.type(i), device.del('Device.Hosts.Host.' .. i), device.del('Device.Hosts.Host.' .. j .. '.'))",
       "6\t7\tinteger\ttrue\ttrue\n"},
      {"dump(device.execute('Device.System.Debug', {Mode = 'Disabled'}))", "Device.System.Debug.Status=Disabled (string)\n"},
      // The helpers of the module's Lua part, and a request of any method.
      {"print(device.value('Device.Hosts.Host.3.HostName'), table.concat(device.instances('Device.Hosts.Host'), ','))\n"
       "for n, host in device.each('Device.Hosts.Host.') do io.write(n, '=', host.HostName, ' ') end print()\n"
       "print(device.request('GetParameterValues', {ParameterNames = {'Device.DeviceInfo.ModelName'}}).ParameterList[1].Value)",
       "nas\t1,2,3,4,5\n1=office-pc 2=pixel-8 3=nas 4=macbook-air 5=smart-plug \nKR-4200 Home Gateway\n"},
  };
  for (const auto& [script, out] : cases) {
    e2e::Run r = lua(sim, dump + script);
    EXPECT_EQ(r.out, out) << script;
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_EQ(e2e::sent(sim, "SetParameterValues")[0],
            R"(SetParameterValues {"ParameterList":[{"Name":"Device.WiFi.Radio.1.Enable","Value":false},)"
            R"({"Name":"Device.WiFi.Radio.2.TransmitPower","Value":50},{"Name":"Device.WiFi.SSID.1.SSID","Value":"Home"}]})");
}

// veld's faults are Lua errors carrying its code and data; wrong arguments are Lua's own errors;
// an error that nobody catches ends the script with its text. Rights are those of the login.
TEST(LuaDevice, FaultsAreLuaErrorsAndRightsTheLogins) {
  Emulator sim({"--access", e2e::accounts()});
  const std::string script = R"lua(
local function try(f, ...)
  local ok, e = pcall(f, ...)
  if ok then print("ok") elseif type(e) == "table" then
    print(e.code, tostring(e))
    for k, v in pairs(e.data or {}) do print("", k, v) end
  else print(e) end
end
try(device.set, 'Device.WiFi.Radio.2.TransmitPower', 50.0)
try(device.get, 5)
try(device.set, 'Device.WiFi.SSID.3.SSID', 'Guests')
try(device.add, 'Device.Users.User.')
device.get('Device.Nope.') print('not reached')
)lua";
  EXPECT_EQ(lua(sim, script, {"-a", "support:support"}).out,
            "9006\t[9006] Invalid parameter type: no parameter was changed\n"  // a float is a real
            "\tDevice.WiFi.Radio.2.TransmitPower\t9006 Invalid parameter type\n"
            "bad argument #1 to 'norlan.device.get' (string expected, got number)\nok\n"
            "9001\t[9001] Request denied: Device.Users.User.: no right to add instances\n"
            "[9005] Invalid parameter name: Device.Nope.: no such node\n");
}

// A listener gets the events of its groups, those the client itself sends included, and the
// data-model changes of group 4; nil when none comes in time.
TEST(LuaDevice, Events) {
  Emulator sim;
  e2e::Run r = lua(sim, R"lua(
local l = device.listen(77, 4)
print(device.request("Event", {EventId = 77, Data = {Text = "hello", N = 2}}).Status)
local e = l:wait(10000)
print(e.group, e.data.Text, e.data.N)
local n = device.add("Device.Hosts.Host.")
e = l:wait(10000)
print(e.group, e.data.Action, e.data.Path, e.data.InstanceNumber == n)
device.request("Event", {EventId = 78})
print(l:wait(0))
l:close()
print(pcall(l.wait, l))
)lua");
  EXPECT_EQ(r.out, "0\n77\thello\t2\n4\tAdd\tDevice.Hosts.Host.\ttrue\nnil\nfalse\tnorlan.device: the listener is closed\n");
}

// Ctrl-C stops a script like any other, even one that catches errors: in a wait for an event,
// and in a loop. What it printed comes out and the run ends with 130.
TEST(LuaDevice, CtrlCStopsTheScript) {
  Emulator sim;
  for (const std::string loop : {"while true do pcall(l.wait, l) end\n", "while true do end\n"}) {
    k::test::TempDir dir;
    std::string out = dir.file("out"), started = dir.file("started");
    e2e::write_file(dir.file("s.lua"), "local l = require('norlan.device').listen(5)\nprint('before')\n"
                                       "io.open(arg[1], 'w'):close()\n" + loop);
    pid_t pid = e2e::start_velc(sim, {"-S", dir.file("s.lua"), started}, out);
    ASSERT_TRUE(e2e::eventually([&] { return access(started.c_str(), F_OK) == 0; }));
    usleep(100 * 1000);  // into the wait
    kill(pid, SIGINT);
    EXPECT_EQ(e2e::wait_exit_status(pid), 130) << loop;
    EXPECT_EQ(e2e::read_file(out), "before\n");
  }
}

TEST(LuaDevice, Examples) {
  Emulator sim({"--access", e2e::accounts(), "--reboot-time", "100"});
  std::string ex = e2e::source_dir() + "/examples/";
  const std::pair<Strings, std::string> cases[] = {
      {{"-a", "support:support", "-S", ex + "wifi-ssid.lua", "Flat", "same"},
       "Device.WiFi.Radio.1 (2.4GHz): Kestrel-4F2A -> Flat\nDevice.WiFi.Radio.2 (5GHz): Kestrel-4F2A-5G -> Flat\ndone\n"},
      {{"-S", ex + "wifi-ssid.lua", "Home"}, "[9001] Request denied: Device.WiFi.Radio.: no right to read\n"},
      {{"-a", "admin:admin", "-S", ex + "reboot-if-version.lua", "4.2.1-build2031"}, "firmware 4.2.1-build2031: no reboot\n"},
      {{"-a", "admin:admin", "-S", ex + "reboot-if-version.lua", "5.0"}, "firmware 4.2.1-build2031, not 5.0: rebooting\n"},
  };
  for (const auto& [args, out] : cases) EXPECT_EQ(e2e::velc(sim, args).out, out) << args.back();
  EXPECT_EQ(e2e::sent(sim, "Reboot").size(), 1u);
}

}  // namespace
