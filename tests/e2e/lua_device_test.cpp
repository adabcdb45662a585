// The Lua module norlan.device end to end against veld-sim: reading, listing, changing, methods,
// faults as Lua errors, rights, events, Ctrl-C.
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

// Several values set in one request, then one; values read back with their Lua types; an object
// path gives everything below it, the tables' pseudo-parameters too, as a tree with instances by
// number; instances added and deleted; a method; the helpers of the module's Lua part.
TEST(LuaDevice, ReadsListsChangesAndRunsMethods) {
  Emulator sim;
  e2e::Run r = lua(sim, R"lua(
print(device.set{['Device.WiFi.SSID.1.SSID'] = 'Home', ['Device.WiFi.Radio.2.TransmitPower'] = 50,
                 ['Device.WiFi.Radio.1.Enable'] = false}, device.set('Device.WiFi.SSID.2.SSID', 'Home-5G'))
local v = device.get{'Device.WiFi.Radio.1.Enable', 'Device.WiFi.SSID.2.SSID', 'Device.WiFi.Radio.2.TransmitPower'}
print(v['Device.WiFi.Radio.1.Enable'], v['Device.WiFi.SSID.2.SSID'], math.type(v['Device.WiFi.Radio.2.TransmitPower']))
local n = 0 for _ in pairs(device.get('Device.Hosts.')) do n = n + 1 end
local t = device.tree('Device.Hosts')
print(n, t.HostNumberOfEntries, t.Host.max_instance, t.Host[3].HostName, #device.names('Device.WiFi.SSID.', true))
local i, j = device.add('Device.Hosts.Host.'), device.add('Device.Hosts.Host')
print(i, j, device.del('Device.Hosts.Host.' .. i), device.del('Device.Hosts.Host.' .. j .. '.'))
print(device.execute('Device.System.Debug', {Mode = 'Disabled'})['Device.System.Debug.Status'])
print(device.value('Device.Hosts.Host.3.HostName'), table.concat(device.instances('Device.Hosts.Host'), ','))
for n, host in device.each('Device.Hosts.Host.') do io.write(n, '=', host.HostName, ' ') end print()
)lua");
  EXPECT_EQ(r.out, "true\ttrue\nfalse\tHome-5G\tinteger\n67\t5\t5\tnas\t4\n6\t7\ttrue\ttrue\nDisabled\n"
                   "nas\t1,2,3,4,5\n1=office-pc 2=pixel-8 3=nas 4=macbook-air 5=smart-plug \n");
  EXPECT_EQ(e2e::sent(sim, "SetParameterValues")[0],
            R"(SetParameterValues {"ParameterList":[{"Name":"Device.WiFi.Radio.1.Enable","Value":false},)"
            R"({"Name":"Device.WiFi.Radio.2.TransmitPower","Value":50},{"Name":"Device.WiFi.SSID.1.SSID","Value":"Home"}]})");
}

// veld's faults are Lua errors carrying its code and data; wrong arguments are Lua's own errors;
// an error that nobody catches ends the script with its text. Rights are those of the login.
TEST(LuaDevice, FaultsAreLuaErrorsAndRightsTheLogins) {
  Emulator sim({"--access", e2e::accounts()});
  const std::string script = R"lua(
local ok, e = pcall(device.set, 'Device.WiFi.Radio.2.TransmitPower', 50.0)  -- a float is a real
print(e.code, tostring(e), e.data['Device.WiFi.Radio.2.TransmitPower'])
print(pcall(device.get, 5))
print(pcall(device.set, 'Device.WiFi.SSID.3.SSID', 'Guests'))
ok, e = pcall(device.add, 'Device.Users.User.') print(e.code)
device.get('Device.Nope.') print('not reached')
)lua";
  EXPECT_EQ(lua(sim, script, {"-a", "support:support"}).out,
            "9006\t[9006] Invalid parameter type: no parameter was changed\t9006 Invalid parameter type\n"
            "false\tbad argument #1 to 'norlan.device.get' (string expected, got number)\ntrue\ttrue\n9001\n"
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

}  // namespace
