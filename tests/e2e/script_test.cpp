// Command scripts end to end against veld-sim: script mode (-s with a file or standard input,
// the program name velc_interpreter, a "#!" line) and the configuration script that runs silently
// before every mode; strict mode over both and Lua scripts.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
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

// Lines join and split as in the shell and run in order; a line whose request fails prints the
// error and the script goes on, while a negative result (a word request mode does not know, a
// shell-only command) stops the script there and is its exit status. Ctrl-C stops a script while
// a line is still being read (from a pipe that sends no newline), and the run ends with 130.
TEST(ScriptMode, LinesJoinSplitRunInOrderAndScriptsStopOnCtrlC) {
  Emulator sim;
  e2e::write_file(sim.dir().file("s"), "#!/usr/bin/velc_interpreter\n"
                      "# A comment whose last byte is a backslash swallows the next line \\\ncat Device.Time.NTPServer1\n"
                      "cat Device.Time.NTP\\\nServer2\necho 'a quote over\ntwo lines'  and # stays\n"
                      "set Device.Time.NTPServer1='\"my ntp\"'\r\n"  // a carriage return is a blank
                      "  cat   Device.Time.NTPServer1 # a comment after the command\n"
                      "cat Device.Nope.\nsleep 0\ncd Device.\ncat Device.DeviceInfo.Manufacturer\n");
  e2e::Run r = e2e::velc(sim, {"-s", sim.dir().file("s")});
  EXPECT_EQ(r.all(), "255|NTPServer2 = '1.pool.ntp.org'\n'a quote overtwo lines'  and # stays\n"
                     "key = Device.Time.NTPServer1, value = \"my ntp\"\nStatus: OK\nNTPServer1 = 'my ntp'\n"
                     "[9005] Invalid parameter name: Device.Nope.: no such node\ncd: unknown method.\n|");
  // A script from standard input; a Lua script, read whole, is not read past its limit: velc
  // says so and stops at once instead of filling the memory.
  EXPECT_EQ(e2e::velc(sim, {"-s"}, "cat Device.DeviceInfo.Manufacturer\n").out, "Manufacturer = 'Kestrel Networks'\n");
  EXPECT_EQ(e2e::velc(sim, {"-S", "/dev/zero"}).err, "velc: /dev/zero: a Lua script longer than 67108864 bytes is not run\n");

  const std::string out = sim.dir().file("out"), input = sim.dir().file("fifo"), text = "echo started\nsleep 0\ncat Device.";  // flushed before the sleep
  ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
  pid_t pid = e2e::start_velc(sim, {"-s", input}, out);
  int fifo = open(input.c_str(), O_WRONLY);  // kept open: the line never ends
  ASSERT_EQ(write(fifo, text.data(), text.size()), ssize_t(text.size()));
  ASSERT_TRUE(e2e::eventually([&] { return e2e::read_file(out) == "started\n"; }));
  kill(pid, SIGINT);
  EXPECT_EQ(e2e::wait_exit_status(pid), 130);
  close(fifo);
  // On a terminal, Ctrl-C during the configuration script ends the script, never the shell that
  // follows.
  k::test::TempDir dir;
  sim.clear_requests();
  e2e::write_file(dir.file("slow"), "cat Device.DeviceInfo.Manufacturer\nsleep 600\ncolor prompt 1 2 3\n");
  e2e::Pty pty(e2e::bin_dir() + "/velc", {"-u", sim.socket(), "-c", dir.file("slow")},
               {"HOME=" + dir.path(), "VELC_HISTFILE=" + dir.file("history"), "NO_COLOR=1"});
  // The script is in its sleep (or about to be) once its request reached the emulator.
  ASSERT_TRUE(e2e::eventually([&] { return !e2e::sent(sim, "GetParameterValues").empty(); }));
  pty.type(e2e::kCtrlC);
  ASSERT_TRUE(pty.wait_until(e2e::ends_with_prompt)) << pty.text();
  pty.type("color prompt\r");
  ASSERT_TRUE(pty.wait_for("\n220 78 100\n", 0)) << pty.text();  // the rest did not run
}

// A home folder with a configuration script in its default place.
struct Home {
  k::test::TempDir dir;
  explicit Home(const std::string& config) {
    std::filesystem::create_directories(dir.file(".local/velc"));
    e2e::write_file(dir.file(".local/velc/config"), config);
  }
  std::string env() const { return "HOME=" + dir.path(); }
};

// The configuration script runs before the mode, in every mode, unseen (standard error stays);
// a failing line ends only the script. The shipped example runs whole (its login reaches the
// mode). Strict mode: a command that prints the error of a failed request but gives 0 (here
// `save`, refused to a guest) gives 255 under --strict, under `opt strict on` in the
// configuration script or in the script itself; a script stops there. So does a Lua script whose
// error nobody catches.
TEST(ConfigScript, RunsSilentlyBeforeEveryModeAndCanMakeItStrict) {
  Emulator sim({"--access", e2e::accounts()});
  Home home("echo you do not see this\nlogin admin -p admin\ncd Device.Time\nset NTPServer1=config.example\n"
            "cat NTPServer1\nsh echo standard error stays 1>&2\nls Device.Nope\nset NTPServer2=never.example\n");
  e2e::Run notify = e2e::velc(sim, {"-n", "x"}, "", {home.env()});
  EXPECT_EQ(notify.out + notify.err, "Unsupported :(\nstandard error stays\n");
  e2e::Run cat = e2e::velc(sim, {"-r", "cat", "Device.Time.NTPServer1", "Device.Time.NTPServer2"}, "", {home.env()});
  EXPECT_EQ(cat.out, "NTPServer1 = 'config.example'\nNTPServer2 = '1.pool.ntp.org'\n");
  EXPECT_EQ(e2e::sent(sim, "SetParameterValues").size(), 2u);  // one for each run
  e2e::Run shipped = e2e::velc(sim, {"-c", e2e::source_dir() + "/examples/config", "-r", "cat", "Device.Users.CurrentUser"});
  EXPECT_EQ(shipped.out + shipped.err, "CurrentUser = 'support'\n");

  k::test::TempDir dir;
  const std::string own = dir.file("own.velc"), lua = dir.file("save.lua");
  e2e::write_file(own, "opt strict on\nsave\necho after\n");
  e2e::write_file(lua, "require('norlan.device').request('SaveConfig')\nprint('after')\n");
  Home config("opt strict on\n");
  const std::string refused = "|[9001] Request denied: SaveConfig needs a user with system access\n|";
  const struct {
    Strings args;
    bool strict_config;
    int status;
  } cases[] = {
      {{"-r", "save"}, false, 0},  {{"--strict", "-r", "save"}, false, 255}, {{"-r", "save"}, true, 255},
      {{"-s", own}, false, 255},   {{"--strict", "-S", lua}, false, 255},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, c.args, "", c.strict_config ? Strings{config.env()} : Strings{});
    EXPECT_EQ(r.all(), std::to_string(c.status) + refused) << c.args[1] << c.strict_config;
  }
}

}  // namespace
