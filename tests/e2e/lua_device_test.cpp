// The Lua module norlan.device end to end against veld-sim: reading, listing, setting, adding
// and deleting, methods, faults as Lua errors, rights, events, Ctrl-C, and the examples that
// use it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "harness/process.h"
#include "platform/json.h"
#include "testing/temp_dir.h"

namespace {

using e2e::Emulator;

// Runs `script` (the module already required as `device`) with velc's `options` first.
e2e::Run lua(const Emulator& sim, const std::string& script,
             std::vector<std::string> options = {}) {
  k::test::TempDir dir;
  std::string path = dir.file("s.lua");
  std::ofstream(path) << "local device = require('norlan.device')\n" << script;
  options.insert(options.end(), {"-S", path});
  return e2e::velc(sim, options);
}

// The params of the requests of `method` that veld-sim received.
std::vector<k::Json> requests_of(const Emulator& sim, const std::string& method) {
  std::vector<k::Json> out;
  for (const std::string& line : sim.requests()) {
    k::Json m = k::json_parse(line);
    if (k::json_text(m.get(), "method") == method)
      out.push_back(k::Json::borrow(json_object_get(m.get(), "params")));
  }
  return out;
}

// Prints a table's pairs sorted by key, "key=value (type)" one a line.
const char* const kDump = R"lua(
local function dump(t)
  local keys = {}
  for k in pairs(t) do keys[#keys + 1] = k end
  table.sort(keys)
  for _, k in ipairs(keys) do
    local v = t[k]
    print(k .. "=" .. tostring(v) .. " (" .. (math.type(v) or type(v)) .. ")")
  end
end
)lua";

TEST(LuaDevice, ReadsListsChangesAndRunsMethods) {
  Emulator sim;
  const struct {
    std::string script;
    std::string out;
  } cases[] = {
      // Values keep the protocol's types.
      {"dump(device.get{'Device.Hosts.Host.4.Active', 'Device.Hosts.Host.4.LeaseTimeRemaining',"
       " 'Device.Hosts.Host.4.HostName', 'Device.WiFi.Radio.2.TransmitPower'})",
       "Device.Hosts.Host.4.Active=false (boolean)\n"
       "Device.Hosts.Host.4.HostName=macbook-air (string)\n"
       "Device.Hosts.Host.4.LeaseTimeRemaining=0 (integer)\n"
       "Device.WiFi.Radio.2.TransmitPower=80 (integer)\n"},
      // An object path gives everything below it, the tables' pseudo-parameters too.
      {"local v = device.get('Device.Hosts.') local n = 0 for _ in pairs(v) do n = n + 1 end\n"
       "print(n, v['Device.Hosts.Host.3.HostName'], type(v['Device.Hosts.Host.max_instance']))",
       "67\tnas\tnumber\n"},
      // The same as nested tables: instances by number, with or without the trailing dot.
      {"local t = device.tree('Device.Hosts')\n"
       "print(t.HostNumberOfEntries, t.Host.max_instance, t.Host[3].HostName, t.Host[4].Active)\n"
       "print(device.tree('.').Device.WiFi.SSID[2].SSID, device.tree('Device.WiFi.SSID.1.').SSID)",
       "5\t5\tnas\tfalse\nKestrel-4F2A-5G\tKestrel-4F2A\n"},
      {"local n = device.names('Device.WiFi.SSID.', true) print(#n, n[1], n[#n])\n"
       "print(#device.names('Device.WiFi.SSID.1.SSID'))",
       "4\tDevice.WiFi.SSID.1.\tDevice.WiFi.SSID.max_instance\n1\n"},
      // Several at once, typed; then one.
      {"print(device.set{['Device.WiFi.SSID.1.SSID'] = 'Home', ['Device.WiFi.Radio.2.TransmitPower'] = 50,"
       " ['Device.WiFi.Radio.1.Enable'] = false})\n"
       "print(device.set('Device.WiFi.SSID.2.SSID', 'Home-5G'))\n"
       "dump(device.get{'Device.WiFi.SSID.1.SSID', 'Device.WiFi.SSID.2.SSID',"
       " 'Device.WiFi.Radio.2.TransmitPower', 'Device.WiFi.Radio.1.Enable'})",
       "true\ntrue\nDevice.WiFi.Radio.1.Enable=false (boolean)\n"
       "Device.WiFi.Radio.2.TransmitPower=50 (integer)\n"
       "Device.WiFi.SSID.1.SSID=Home (string)\nDevice.WiFi.SSID.2.SSID=Home-5G (string)\n"},
      // Tables with or without their trailing dot.
      {"local i = device.add('Device.Hosts.Host.') local j = device.add('Device.Hosts.Host')\n"
       "print(i, j, math.type(i))\n"
       "print(device.del('Device.Hosts.Host.' .. i), device.del('Device.Hosts.Host.' .. j .. '.'))\n"
       "print(#device.names('Device.Hosts.Host.', true))",
       "6\t7\tinteger\ntrue\ttrue\n6\n"},
      {"dump(device.execute('Device.System.Debug', {Mode = 'Disabled'}))\n"
       "dump(device.execute('Device.System.Debug'))",
       "Device.System.Debug.Status=Disabled (string)\nDevice.System.Debug.Status=Disabled (string)\n"},
      // The helpers of the module's Lua part.
      {"print(device.value('Device.Hosts.Host.3.HostName'), device.value('Device.Hosts.Host.4.Active'))\n"
       "print(table.concat(device.instances('Device.Hosts.Host'), ','))\n"
       "for n, host in device.each('Device.Hosts.Host.') do io.write(n, '=', host.HostName, ' ') end print()",
       "nas\tfalse\n1,2,3,4,5\n1=office-pc 2=pixel-8 3=nas 4=macbook-air 5=smart-plug \n"},
      {"local n = device.add('Device.Hosts.Host') device.del('Device.Hosts.Host.2')\n"
       "print(table.concat(device.instances('Device.Hosts.Host.'), ','), n)\n"
       "device.del('Device.Hosts.Host.' .. n)",
       "1,3,4,5,8\t8\n"},  // 6 and 7 were added and deleted above
      {"local r = device.request('GetParameterValues', {ParameterNames = {'Device.DeviceInfo.ModelName'}})\n"
       "print(r.ParameterList[1].Name, r.ParameterList[1].Value)",
       "Device.DeviceInfo.ModelName\tKR-4200 Home Gateway\n"},
  };
  for (const auto& c : cases) {
    e2e::Run r = lua(sim, kDump + c.script);
    EXPECT_EQ(r.out, c.out) << c.script;
    EXPECT_EQ(r.status, 0);
  }
  // The three values went in one request, in the order of their names.
  std::vector<k::Json> sets = requests_of(sim, "SetParameterValues");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(k::json_dump(sets[0].get(), JSON_COMPACT),
            R"({"ParameterList":[{"Name":"Device.WiFi.Radio.1.Enable","Value":false},)"
            R"({"Name":"Device.WiFi.Radio.2.TransmitPower","Value":50},)"
            R"({"Name":"Device.WiFi.SSID.1.SSID","Value":"Home"}]})");
}

// veld's faults are Lua errors carrying its code; wrong arguments are Lua's own errors.
TEST(LuaDevice, FaultsAreLuaErrors) {
  Emulator sim;
  const char* const show = R"lua(
local function try(f, ...)
  local ok, e = pcall(f, ...)
  if ok then print("ok") return end
  if type(e) == "table" then
    print(e.code, tostring(e))
    for k, v in pairs(e.data or {}) do print("", k, v) end
  else
    print(e)
  end
end
)lua";
  const struct {
    std::string script;
    std::string out;
  } cases[] = {
      {"try(device.get, 'Device.Nope.')",
       "9005\t[9005] Invalid parameter name: Device.Nope.: no such node\n"},
      {"try(device.get, {'Device.DeviceInfo.ModelName', 'Device.Nope'})",
       "9005\t[9005] Invalid parameter name: Device.Nope: no such node\n"},
      {"try(device.set, {['Device.WiFi.SSID.1.SSID'] = 5})",
       "9006\t[9006] Invalid parameter type: no parameter was changed\n"
       "\tDevice.WiFi.SSID.1.SSID\t9006 Invalid parameter type\n"},
      {"try(device.set, 'Device.WiFi.Radio.2.TransmitPower', 50.0)",  // a float is a real
       "9006\t[9006] Invalid parameter type: no parameter was changed\n"
       "\tDevice.WiFi.Radio.2.TransmitPower\t9006 Invalid parameter type\n"},
      {"try(device.tree, 'Device.DeviceInfo.ModelName')",
       "9005\t[9005] Invalid parameter name: Device.DeviceInfo.ModelName.: not an object: a parameter's path has no trailing dot\n"},
      {"try(device.add, 'Device.DeviceInfo.')",
       "9005\t[9005] Invalid parameter name: Device.DeviceInfo.: not a table\n"},
      {"try(device.execute, 'Device.System.Debug', {Colour = 'red'})",
       "9003\t[9003] Invalid arguments: the method was not run\n"
       "\tColour\t9003 Invalid arguments\n"},
      {"try(device.get, 5)",
       "bad argument #1 to 'norlan.device.get' (string expected, got number)\n"},
      {"try(device.set, {[1] = 2})",
       "bad argument #1 to 'set' (the names must be UTF-8 texts)\n"},
      {"try(device.set, {['Device.WiFi.SSID.1.SSID'] = print})",
       "bad argument #1 to 'set' (Device.WiFi.SSID.1.SSID: a function value)\n"},
      {"try(device.get, {'Device.DeviceInfo.', '\\xff'})",
       "bad argument #1 to 'get' (the paths must be UTF-8 texts)\n"},
      {"try(device.listen)", "bad argument #1 to 'norlan.device.listen' (an event group expected)\n"},
      {"try(device.value, 5) try(device.each)",
       "bad argument #1 to 'norlan.device.value' (string expected, got number)\n"
       "bad argument #1 to 'norlan.device.each' (string expected, got nil)\n"},
      // An error that nobody catches ends the script with its text.
      {"device.get('Device.Nope.') print('not reached')",
       "[9005] Invalid parameter name: Device.Nope.: no such node\n"},
  };
  for (const auto& c : cases) {
    e2e::Run r = lua(sim, show + c.script);
    EXPECT_EQ(r.out, c.out) << c.script;
  }
  EXPECT_TRUE(requests_of(sim, "SetParameterValues").size() == 2);  // refused, not skipped
}

// The module works with the client's login: a guest is refused what a user may do.
TEST(LuaDevice, RightsAreTheClientLogin) {
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json"});
  const char* const script =
      "local ok, e = pcall(device.set, 'Device.WiFi.SSID.3.SSID', 'Guests')\n"
      "print(ok or e.code)\n"
      "local n; ok, n = pcall(device.add, 'Device.Users.User.') print(ok or n.code)\n"
      "if ok then device.del('Device.Users.User.' .. n) end\n"
      "print(device.get('Device.DeviceInfo.ModelName')['Device.DeviceInfo.ModelName'])\n";
  const struct {
    std::vector<std::string> options;
    std::string out;
  } cases[] = {
      {{}, "9001\n9001\nKR-4200 Home Gateway\n"},
      {{"-a", "support:support"}, "true\n9001\nKR-4200 Home Gateway\n"},
      {{"-a", "admin:admin"}, "true\ntrue\nKR-4200 Home Gateway\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(lua(sim, script, c.options).out, c.out) << c.out;
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
  EXPECT_EQ(r.out,
            "0\n77\thello\t2\n4\tAdd\tDevice.Hosts.Host.\ttrue\nnil\n"
            "false\tnorlan.device: the listener is closed\n");
}

// Ctrl-C while a script waits for an event stops it like any script: what it printed comes
// out and the run ends with 130, even though the script catches errors.
TEST(LuaDevice, CtrlCWhileWaiting) {
  Emulator sim;
  k::test::TempDir dir;
  std::string out = dir.file("out");
  std::string started = dir.file("started");
  std::ofstream(dir.file("s.lua"))
      << "local l = require('norlan.device').listen(5)\nprint('before')\n"
         "io.open(arg[1], 'w'):close()\nwhile true do pcall(l.wait, l) end\n";
  pid_t pid = e2e::start_velc(sim, {"-S", dir.file("s.lua"), started}, out);
  for (int i = 0; i < 600 && access(started.c_str(), F_OK) != 0; ++i) usleep(50 * 1000);
  ASSERT_EQ(access(started.c_str(), F_OK), 0);
  usleep(100 * 1000);  // into the wait
  kill(pid, SIGINT);
  EXPECT_EQ(e2e::wait_exit_status(pid), 130);
  EXPECT_EQ(e2e::read_file(out), "before\n");
}

// The module is there for the shell's `lua` command too.
TEST(LuaDevice, InTheLuaCommand) {
  Emulator sim;
  e2e::Run r = e2e::velc(
      sim, {"-r", "lua", "d = require('norlan.device')",
            "print(d.get('Device.DeviceInfo.ModelName')['Device.DeviceInfo.ModelName'])"});
  EXPECT_EQ(r.out,
            "d = require('norlan.device') "
            "print(d.get('Device.DeviceInfo.ModelName')['Device.DeviceInfo.ModelName']) \n"
            "KR-4200 Home Gateway\n");
}

TEST(LuaDevice, Examples) {
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json", "--reboot-time", "100"});
  std::string ex = e2e::source_dir() + "/examples/";
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"-a", "support:support", "-S", ex + "hosts-up.lua"},
       "192.168.1.20    office-pc\n192.168.1.21    pixel-8\n192.168.1.10    nas\n"
       "192.168.1.52    smart-plug\n4 of 5 hosts are up\n"},
      {{"-a", "support:support", "-S", ex + "wifi-ssid.lua", "Home"},
       "Device.WiFi.Radio.1 (2.4GHz): Kestrel-4F2A -> Home\n"
       "Device.WiFi.Radio.2 (5GHz): Kestrel-4F2A-5G -> Home-5G\ndone\n"},
      {{"-a", "support:support", "-S", ex + "wifi-ssid.lua", "Flat", "same"},
       "Device.WiFi.Radio.1 (2.4GHz): Home -> Flat\nDevice.WiFi.Radio.2 (5GHz): Home-5G -> Flat\n"
       "done\n"},
      {{"-S", ex + "wifi-ssid.lua", "Home"},
       "[9001] Request denied: Device.WiFi.Radio.: no right to read\n"},
      {{"-a", "admin:admin", "-S", ex + "reboot-if-version.lua", "4.2.1-build2031"},
       "firmware 4.2.1-build2031: no reboot\n"},
      {{"-a", "support:support", "-S", ex + "reboot-if-version.lua", "5.0"},
       "[9001] Request denied: Reboot needs a user with system access\n"},
      {{"-a", "admin:admin", "-S", ex + "reboot-if-version.lua", "5.0"},
       "firmware 4.2.1-build2031, not 5.0: rebooting\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(e2e::velc(sim, c.args).out, c.out) << c.args.back();
  EXPECT_EQ(requests_of(sim, "Reboot").size(), 2u);
}

}  // namespace
