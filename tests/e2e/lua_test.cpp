// Lua end to end against veld-sim: the one-statement `lua` command in the shell (on a terminal)
// and in request mode; Lua scripts (-S, the program name velc_lua, a "#!" line, standard input)
// with their arguments, errors and output; the module norlan.device (reading, changing, methods,
// faults as Lua errors, rights, events, Ctrl-C); the Lua shell on a pseudo-terminal (results and
// errors, statements over several lines, Tab, Ctrl-C and Ctrl-D, its history, a recording).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;
using e2e::Shell;

// A script's arguments and output, and line numbers that match the file (its "#!" line
// included) in an error; what was printed before the error stays. A failed script is no failed
// run. Under the program name velc_lua the first word is the script (standard input without
// one), and an executable file runs through its "#!" line. A script's output comes into a pipe or
// file when it flushes, before the script ends: the script blocks opening a FIFO that the test
// opens only once the first line came.
TEST(LuaScript, ArgumentsErrorsProgramNameShebangAndFlushes) {
  Emulator sim;
  k::test::TempDir dir;
  std::string lua = dir.file("velc_lua"), path = dir.file("s.lua"), failing = dir.file("f.lua");
  ASSERT_EQ(symlink((e2e::bin_dir() + "/velc").c_str(), lua.c_str()), 0);
  e2e::write_file(path, "#!" + lua + " --unixpath=" + sim.socket() + "\nprint(select('#', ...), ...)\n"
                        "print(arg[0]:match('s%.lua$'), arg[1])\nio.write('no newline')\n");
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  e2e::write_file(failing, "#!/usr/bin/velc_lua\nprint('before')\nio.write('part')\nerror('line four')\n");
  const std::pair<e2e::Run, std::string> cases[] = {
      {e2e::velc(sim, {"-S", path, "one", "two words"}), "2\tone\ttwo words\ns.lua\tone\nno newline"},
      {e2e::run(path, {"c"}), "1\tc\ns.lua\tc\nno newline"},
      {e2e::velc(sim, {"-S", failing}), "before\npart" + failing + ":4: line four\nstack traceback:\n"
                                        "\t[C]: in function 'error'\n\t" + failing + ":4: in main chunk\n"},
      {e2e::run(lua, {"-u", sim.socket()}, "print(arg[0], 1 + 1)\nx = = 1\n"),
       "stdin:2: unexpected symbol near '='\n"},
  };
  for (const auto& [run, out] : cases) EXPECT_EQ(run.all(), "0|" + out + "|");

  const std::string fifo = dir.file("fifo"), script = dir.file("flush.lua"), out = dir.file("out");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  e2e::write_file(script, "print('first') io.stdout:flush()\nprint('got ' .. io.open(arg[1]):read('a'))\n");
  pid_t pid = e2e::start_velc(sim, {"-S", script, fifo}, out);
  bool came = e2e::eventually([&] { return e2e::read_file(out) == "first\n"; });
  e2e::write_file(fifo, "go");  // lets the script end either way
  EXPECT_TRUE(came);
  EXPECT_EQ(e2e::wait_exit_status(pid), 0);
  EXPECT_EQ(e2e::read_file(out), "first\ngot go\n");
}

// Runs `script` (the module already required as `device`) with velc's `options` first.
e2e::Run lua(const Emulator& sim, const std::string& script, Strings options = {}) {
  e2e::write_file(sim.dir().file("s.lua"), "local device = require('norlan.device')\n" + script);
  options.insert(options.end(), {"-S", sim.dir().file("s.lua")});
  return e2e::velc(sim, options);
}

// Several values set in one request, then one; values read back with their Lua types; an object
// path gives everything below it, the tables' pseudo-parameters too, as a tree with instances by
// number; instances added and deleted; a method; the helpers of the module's Lua part. A listener
// gets the events of its groups, those the client itself sends included, and the data-model
// changes of group 4; nil when none comes in time.
TEST(LuaDevice, ReadsListsChangesRunsMethodsListensAndFails) {
  Emulator sim({"--access", e2e::accounts()});
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
)lua", {"-a", "admin:admin"});
  EXPECT_EQ(r.out, "true\ttrue\nfalse\tHome-5G\tinteger\n67\t5\t5\tnas\t4\n6\t7\ttrue\ttrue\nDisabled\n"
                   "nas\t1,2,3,4,5\n1=office-pc 2=pixel-8 3=nas 4=macbook-air 5=smart-plug \n"
                   "0\n77\thello\t2\n4\tAdd\tDevice.Hosts.Host.\ttrue\nnil\nfalse\tnorlan.device: the listener is closed\n");
  // veld's faults are Lua errors carrying its code and data; wrong arguments are Lua's own errors;
  // an error that nobody catches ends the script with its text. Rights are those of the login.
  EXPECT_EQ(lua(sim, R"lua(
local ok, e = pcall(device.set, 'Device.WiFi.Radio.2.TransmitPower', 50.0)  -- a float is a real
print(e.code, tostring(e), e.data['Device.WiFi.Radio.2.TransmitPower'])
print(pcall(device.get, 5))
print(pcall(device.set, 'Device.WiFi.SSID.3.SSID', 'Guests'))
ok, e = pcall(device.add, 'Device.Users.User.') print(e.code)
device.get('Device.Nope.') print('not reached')
)lua", {"-a", "support:support"}).out,
            "9006\t[9006] Invalid parameter type: no parameter was changed\t9006 Invalid parameter type\n"
            "false\tbad argument #1 to 'norlan.device.get' (string expected, got number)\ntrue\ttrue\n9001\n"
            "[9005] Invalid parameter name: Device.Nope.: no such node\n");
  EXPECT_EQ(e2e::sent(sim, "SetParameterValues")[0],
            R"(SetParameterValues {"ParameterList":[{"Name":"Device.WiFi.Radio.1.Enable","Value":false},)"
            R"({"Name":"Device.WiFi.Radio.2.TransmitPower","Value":50},{"Name":"Device.WiFi.SSID.1.SSID","Value":"Home"}]})");
}

// A Lua shell entered from a shell whose module folder holds "greet" (a folder with an
// init.lua), after one line of the shell's own history; Ctrl-D gives the shell back its history.
// Then a recording begun in the shell goes on with the statements of a Lua session and is written
// from them when the Lua shell is left (the Lua history's older entries stay out). Entering the
// Lua shell writes the shell's history file, so a session that ends there keeps it.
TEST(LuaShell, ResultsErrorsStatementsCompletionTheWayBackAndRecording) {
  k::test::TempDir modules;
  std::filesystem::create_directory(modules.file("greet"));
  e2e::write_file(modules.file("greet/init.lua"), "return {hello = function() return 'hi' end}\n");
  Emulator sim;
  Shell sh(sim, {}, "", false, {"VELC_LUA_MODULES=" + modules.path()});
  // The shell passes everything after "lua " as one statement, blanks and quotes as typed, to a
  // fresh interpreter.
  EXPECT_EQ(sh.run("lua   print( 'a  \"b\"' ) -- c"), "  print( 'a  \"b\"' ) -- c \na  \"b\"\n");
  EXPECT_EQ(sh.run("lua x = 5"), "x = 5 \n");
  EXPECT_EQ(sh.run("lua print(x)"), "print(x) \nnil\n");
  EXPECT_EQ(sh.run("pwd"), ":\n");
  EXPECT_EQ(sh.run("lua"), "> preloaded greet\n");
  const struct {
    std::string keys, out;  // the screen after the keys, up to the prompt
  } cases[] = {
      {"x = 40\r", "x = 40\nvelc-lua:> "},
      {"x, greet.hello()\r", "x, greet.hello()\n_[1] = 40\n_[2] = \"hi\"\nvelc-lua:> "},
      // A syntax error: the compiler's message, and the tag says it failed until the next one.
      {"x = = 1\r", "x = = 1\n[string \"stdin\"]:1: unexpected symbol near '='\nvelc-lua(fail):> "},
      {" print('blank')\r", " print('blank')\nblank\nvelc-lua:> "},
      // Over three lines: "> " asks for more, an empty line adds nothing, "quit" is Lua text.
      {"for i = 1, 2 do\r\rlocal quit = i print(quit)\rend\r",
       "for i = 1, 2 do\n> \n> local quit = i print(quit)\n> end\n1\n2\nvelc-lua:> "},
  };
  for (const auto& c : cases) EXPECT_EQ(sh.keys(c.keys), c.out) << c.keys;
  // Ctrl-C stops a statement that never ends, and drops an unfinished one; the state goes on.
  for (const std::string start : {"while true do end\r", "if true then\r"}) {
    ASSERT_TRUE(sh.pty().type_until(start, start.substr(0, start.size() - 1) + "\n")) << sh.pty().text();
    sh.keys(e2e::kCtrlC);
  }
  EXPECT_EQ(sh.run("print(x)"), "40\n");

  // A loaded module completed by name becomes a global; the line is drawn once, below the message.
  sh.run("package.loaded.mymod = {x = 1}");
  size_t from = sh.pty().mark();
  ASSERT_TRUE(sh.pty().type_until("mymod\t", "Globalized module 'mymod'.\n")) << sh.pty().text();
  sh.keys("x\r");
  EXPECT_NE(sh.pty().text().find("Globalized module 'mymod'.\nvelc-lua:> mymod.x\n_[3] = 1\n", from), std::string::npos)
      << sh.pty().text().substr(from);
  EXPECT_EQ(e2e::last_line(sh.keys(e2e::kCtrlD)), "velc:> ");
  EXPECT_NE(sh.keys("\x1b[A\x1b[A\r").find("pwd\n:\n"), std::string::npos);  // Up twice: before "lua"
  sh.quit("q\r");
  EXPECT_TRUE(e2e::read_file(sh.history()).ends_with("\npwd\nlua\npwd\n"));
  // One entry a statement (the loop with its newlines); no blank lines, no statement typed with
  // a leading blank, none stopped by Ctrl-C.
  EXPECT_EQ(e2e::read_file(sh.home() + "/lua-history"),
            "x = 40\nx, greet.hello()\nx = = 1\nfor i = 1, 2 do\nlocal quit = i print(quit)\nend\nprint(x)\n"
            "package.loaded.mymod = {x = 1}\nmymod.x\n");

  Shell rec(sim);
  e2e::write_file(rec.home() + "/lua-history", "old1\nold2\n");
  const std::string file = modules.file("r");
  EXPECT_EQ(rec.run("record " + file), "");
  EXPECT_EQ(rec.run("lua"), "> preloaded device\n");
  EXPECT_EQ(e2e::read_file(rec.history()), "record " + file + "\nlua\n");
  EXPECT_EQ(rec.run("1"), "_[1] = 1\n");
  rec.keys(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(file),
            "-- Recorded in velc's Lua shell: what it had preloaded, then the statements typed.\n"
            "local function velc_show(...) if select(\"#\", ...) > 0 then print(...) end end\n"
            "device = require(\"norlan.device\")\nvelc_show(1)\n");
  rec.quit("q\r");
}

}  // namespace
