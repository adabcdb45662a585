// Command scripts end to end against veld-sim: script mode (-s with a file or standard input,
// the program name velc_interpreter, a "#!" line) through the request dispatch, and the
// configuration script that runs silently through the shell's dispatch before every mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/shell_session.h"
#include "platform/json.h"
#include "testing/temp_dir.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The requests veld-sim received with one of `methods`, as "<method> <params>".
Strings sent(const Emulator& sim, const Strings& methods) {
  Strings out;
  for (const std::string& line : sim.requests()) {
    k::Json m = k::json_parse(line);
    std::string name = k::json_text(m.get(), "method");
    if (std::find(methods.begin(), methods.end(), name) == methods.end()) continue;
    out.push_back(name + " " + k::json_dump(json_object_get(m.get(), "params"), JSON_COMPACT));
  }
  return out;
}

const Strings kDataMethods = {"GetParameterNames", "GetParameterValues", "SetParameterValues"};

// Runs `text` as a script file with "velc -s FILE".
e2e::Run script(const Emulator& sim, const std::string& text, Strings extra = {}) {
  k::test::TempDir dir;
  std::string path = dir.file("script.velc");
  write_file(path, text);
  extra.insert(extra.end(), {"-s", path});
  return e2e::velc(sim, extra);
}

const char* const kManufacturer = "Manufacturer = 'Kestrel Networks'\n";

TEST(ScriptMode, LinesJoinSplitAndRunInOrder) {
  Emulator sim;
  std::string listing = e2e::velc(sim, {"-r", "ls", "Device."}).out;
  ASSERT_NE(listing.find("Device.Hosts."), std::string::npos);
  sim.clear_requests();
  e2e::Run r = script(sim,
                      "#!/usr/bin/velc_interpreter\n"
                      "# A comment whose last byte is a backslash swallows the next line \\\n"
                      "cat Device.Time.NTPServer1\n"
                      "ls Devi\\\n"
                      "ce.\n"
                      "echo  two  blanks, 'quotes' and # stay\n"
                      "echo\n"
                      "echo 'a quote over\n"
                      "two lines'\n"
                      "sleep 0\n"
                      "  cat   Device.DeviceInfo.Manufacturer # a comment after the command\n"
                      "cat Device.Nope.\n"  // prints an error, gives 0: the script goes on
                      "cat Device.DeviceInfo.Manufacturer\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, listing + " two  blanks, 'quotes' and # stay\n\n'a quote overtwo lines'\n" +
                       kManufacturer +
                       "[9005] Invalid parameter name: Device.Nope.: no such node\n" +
                       kManufacturer);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(sent(sim, kDataMethods),
            (Strings{R"(GetParameterNames {"ParameterPath":"Device.","NextLevel":true})",
                     R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.Manufacturer"]})",
                     R"(GetParameterValues {"ParameterNames":["Device.Nope."]})",
                     R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.Manufacturer"]})"}));
}

// A negative result stops the script there and is its exit status, as the platform truncates
// it; words that request mode does not know, shell-only commands included, fail that way.
TEST(ScriptMode, AFailingLineStopsTheScript) {
  struct Case {
    std::string line;
    std::string out;
  };
  const Case cases[] = {
      {"ls Device.Nope", "[9005] Invalid parameter name: Device.Nope: no such node\n"},
      {"bogus x", "bogus: unknown method.\n"},
      {"cd Device.", "cd: unknown method.\n"},
      {"login_if_guest admin", "login_if_guest: unknown method.\n"},
      {"'ls Device.'", "ls Device.: unknown method.\n"},  // quotes hold words together
  };
  Emulator sim;
  for (const auto& c : cases) {
    sim.clear_requests();
    e2e::Run r = script(sim, "echo start\n" + c.line + "\ncat Device.DeviceInfo.Manufacturer\n");
    EXPECT_EQ(r.status, 255) << c.line;
    EXPECT_EQ(r.out, "start\n" + c.out) << c.line;
    for (const std::string& s : sent(sim, kDataMethods))
      EXPECT_EQ(s.find("Manufacturer"), std::string::npos) << c.line;
  }
}

// Words are split as the shell splits a line: a quoted value keeps its blanks (request mode
// reads it as JSON text), and a carriage return before the newline is a blank.
TEST(ScriptMode, QuotedWordsAndDosLineEnds) {
  Emulator sim;
  e2e::Run r = script(sim,
                      "echo dos\r\n"
                      "set Device.Time.NTPServer1='\"my ntp\"' "
                      "\"Device.Time.NTPServer2=\\\"a b\\\"\"\r\n"
                      "cat Device.Time.NTPServer1 Device.Time.NTPServer2\r\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "dos\r\n"
                   "key = Device.Time.NTPServer1, value = \"my ntp\"\n"
                   "key = Device.Time.NTPServer2, value = \"a b\"\nStatus: OK\n"
                   "NTPServer1 = 'my ntp'\nNTPServer2 = 'a b'\n");
  EXPECT_EQ(r.err, "");
}

TEST(ScriptMode, StandardInputAndTheFileNameForms) {
  Emulator sim;
  const std::string text = "cat Device.DeviceInfo.Manufacturer\n";
  e2e::Run stdin_run = e2e::velc(sim, {"-s"}, text);
  EXPECT_EQ(stdin_run.status, 0);
  EXPECT_EQ(stdin_run.out, kManufacturer);

  k::test::TempDir dir;
  write_file(dir.file("s"), text);
  e2e::Run joined = e2e::velc(sim, {"--script=" + dir.file("s")});
  EXPECT_EQ(joined.out, kManufacturer);

  e2e::Run missing = e2e::velc(sim, {"-s", dir.file("none")});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.out, "Cannot open script file " + dir.file("none") + "\n");
}

// Under the program name velc_interpreter a file names its interpreter on a "#!" line: the
// kernel starts velc with the line's argument and the file's path.
TEST(ScriptMode, ProgramNameAndShebangLine) {
  Emulator sim;
  k::test::TempDir dir;
  std::string interpreter = dir.file("velc_interpreter");
  ASSERT_EQ(symlink((e2e::bin_dir() + "/velc").c_str(), interpreter.c_str()), 0);
  std::string body = "echo by name\ncat Device.DeviceInfo.Manufacturer\n";
  write_file(dir.file("plain"), body);
  e2e::Run by_name = e2e::run(interpreter, {"-u", sim.socket(), dir.file("plain")});
  EXPECT_EQ(by_name.status, 0);
  EXPECT_EQ(by_name.out, "by name\n" + std::string(kManufacturer));

  std::string path = dir.file("executable");
  write_file(path, "#!" + interpreter + " --unixpath=" + sim.socket() + "\n" + body);
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  e2e::Run shebang = e2e::run(path, {});
  EXPECT_EQ(shebang.status, 0);
  EXPECT_EQ(shebang.out, "by name\n" + std::string(kManufacturer));

  // A mode option under that name is a second mode.
  e2e::Run conflict = e2e::run(interpreter, {"-u", sim.socket(), "-r", "cat"});
  EXPECT_EQ(conflict.status, 1);
  EXPECT_EQ(conflict.err, "Cannot execute 'request' and 'interactive' modes simultaneously.\n");
}

// Ctrl-C stops a script and the run ends with 130: in a sleep, and while a line is still being
// read (from a pipe that sends no newline).
TEST(ScriptMode, CtrlCStopsTheScript) {
  Emulator sim;
  for (bool in_a_read : {false, true}) {
    k::test::TempDir dir;
    std::string out = dir.file("out"), input = dir.file("s");
    if (in_a_read) {
      ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    }
    // "started" is flushed before the sleep begins.
    const std::string text = std::string("echo started\nsleep 0\n") +
                             (in_a_read ? "cat Device.DeviceInfo.Manufa" : "sleep 600\n");
    if (!in_a_read) write_file(input, text + "echo never\n");
    pid_t pid = e2e::start_velc(sim, {"-s", input}, out);
    int fifo = in_a_read ? open(input.c_str(), O_WRONLY) : -1;  // kept open: the line never ends
    if (in_a_read) {
      ASSERT_EQ(write(fifo, text.data(), text.size()), ssize_t(text.size()));
    }
    for (int i = 0; i < 600 && e2e::read_file(out) != "started\n"; ++i) usleep(50 * 1000);
    ASSERT_EQ(e2e::read_file(out), "started\n");
    kill(pid, SIGINT);
    EXPECT_EQ(e2e::wait_exit_status(pid), 130) << in_a_read;
    EXPECT_EQ(e2e::read_file(out), "started\n");
    if (fifo >= 0) close(fifo);
  }
}

// An input without newlines is not read past the longest line a script may have (a Lua script,
// read whole, past its own limit): velc says so and stops at once instead of filling the memory.
// A folder is no script, whichever kind: it cannot be opened, and velc says why.
TEST(ScriptMode, EndlessLineIsRefused) {
  Emulator sim;
  e2e::Run r = e2e::velc(sim, {"-s", "/dev/zero"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "/dev/zero:1: line longer than 1048576 bytes\n");
  r = e2e::velc(sim, {"-S", "/dev/zero"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "velc: /dev/zero: a Lua script longer than 67108864 bytes is not run\n");
  for (const char* mode : {"-s", "-S"}) {
    r = e2e::velc(sim, {mode, "/tmp"});
    EXPECT_EQ(r.status, 255) << mode;
    EXPECT_EQ(r.out, "Cannot open script file /tmp\n") << mode;
    EXPECT_EQ(r.err, "velc: /tmp: Is a directory\n") << mode;
  }
}

// A home folder with a configuration script in its default place.
struct Home {
  k::test::TempDir dir;
  explicit Home(const std::string& config) {
    std::string folder = dir.file(".local/velc");
    std::string make = "mkdir -p '" + folder + "'";
    EXPECT_EQ(std::system(make.c_str()), 0);
    write_file(folder + "/config", config);
  }
  std::string env() const { return "HOME=" + dir.path(); }
};

// The configuration script runs before the mode, in every mode, unseen; a failing line ends
// only the script.
TEST(ConfigScript, RunsSilentlyBeforeEveryMode) {
  Emulator sim;
  Home home(
      "echo you do not see this\n"
      "cd Device.Time\n"  // needs the schema cache: made for the script
      "set NTPServer1=config.example\n"
      "cat NTPServer1\n"
      "sh echo standard error stays 1>&2\n"
      "ls Device.Nope\n"
      "set NTPServer2=never.example\n");
  e2e::Run notify = e2e::velc(sim, {"-n", "x"}, "", {home.env()});
  EXPECT_EQ(notify.status, 0);
  EXPECT_EQ(notify.out, "Unsupported :(\n");
  EXPECT_EQ(notify.err, "standard error stays\n");

  e2e::Run cat = e2e::velc(sim, {"-r", "cat", "Device.Time.NTPServer1", "Device.Time.NTPServer2"},
                           "", {home.env()});
  EXPECT_EQ(cat.status, 0);
  EXPECT_EQ(cat.out, "NTPServer1 = 'config.example'\nNTPServer2 = '1.pool.ntp.org'\n");
  EXPECT_EQ(sent(sim, {"SetParameterValues"}).size(), 2u);  // one for each run
}

TEST(ConfigScript, PathFromTheOptionAndWhatIsSkipped) {
  Emulator sim;
  k::test::TempDir dir;
  write_file(dir.file("config"), "set Device.Time.NTPServer3=option.example\n");
  const Strings runs[] = {
      {"-c", dir.file("none")},  // missing: skipped
      {"-c", dir.path()},        // a folder: skipped
      {"-c", "/dev/null"},       // not a regular file: skipped
      {"-c", dir.file("config")},
  };
  for (const Strings& args : runs) {
    Strings all = args;
    all.insert(all.end(), {"-r", "cat", "Device.Time.NTPServer3"});
    e2e::Run r = e2e::velc(sim, all);
    EXPECT_EQ(r.status, 0) << args[1];
    EXPECT_EQ(r.err, "") << args[1];
  }
  EXPECT_EQ(e2e::velc(sim, {"-r", "cat", "Device.Time.NTPServer3"}).out,
            "NTPServer3 = 'option.example'\n");
  EXPECT_EQ(sent(sim, {"SetParameterValues"}).size(), 1u);
}

// What `color` sets in the configuration script is the shell's scheme; its output and echo
// lines never reach the terminal.
TEST(ConfigScript, ColoursCarryIntoTheShell) {
  Emulator sim;
  k::test::TempDir dir;
  write_file(dir.file("config"), "echo hidden\ncolor prompt 10 20 30\nopt hint off\n");
  e2e::Shell sh(sim, {"-c", dir.file("config")});
  EXPECT_EQ(sh.pty().text().rfind("Norlan Management System client.\n", 0), 0u)
      << sh.pty().text();
  EXPECT_EQ(sh.pty().text().find("hidden"), std::string::npos);
  EXPECT_EQ(sh.run("color prompt"), "10 20 30\n");
  sh.quit("q\r");
}

// A quote that the configuration script never closes swallowed the rest of it: said on standard
// error, with the line that opened it; the mode runs all the same. The shipped example runs
// whole (its login reaches the mode).
TEST(ConfigScript, QuoteNeverClosedAndTheShippedExample) {
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json"});
  const std::string example = e2e::source_dir() + "/examples/config";
  const Strings user = {"-r", "cat", "Device.Users.CurrentUser"};
  Home home("color prompt 1 2 3\n# velc's own\nlogin_if_guest support support\n");
  e2e::Run broken = e2e::velc(sim, user, "", {home.env()});
  EXPECT_EQ(broken.err, home.dir.file(".local/velc/config") +
                            ":2: quote opened here is never closed; the rest of the file was "
                            "not run\n");
  EXPECT_EQ(broken.out.rfind("[9001] ", 0), 0u) << broken.out;  // a guest's answer

  Strings args = {"-c", example};
  args.insert(args.end(), user.begin(), user.end());
  e2e::Run shipped = e2e::velc(sim, args);
  EXPECT_EQ(shipped.err, "");
  EXPECT_EQ(shipped.out, "CurrentUser = 'support'\n");
}

// Strict mode: a command that prints the error of a failed request but gives 0 (here `save`,
// refused to a guest) gives 255 under --strict, under `opt strict on` in the configuration script
// or in the script itself; a script stops there. A Lua script whose error nobody catches ends
// with 255 too (0 by default).
TEST(StrictMode, AFailedRequestFailsTheCommand) {
  Emulator sim({"--access", e2e::source_dir() + "/models/home-router.json"});
  k::test::TempDir dir;
  const std::string plain = dir.file("plain.velc"), own = dir.file("own.velc");
  const std::string lua = dir.file("save.lua");
  write_file(plain, "save\necho after\n");
  write_file(own, "opt strict on\nsave\necho after\n");
  write_file(lua, "require('norlan.device').request('SaveConfig')\nprint('after')\n");
  Home config("opt strict on\n");
  const std::string refused = "[9001] Request denied: SaveConfig needs a user with system access\n";
  const struct {
    Strings args;
    bool strict_config;
    int status;
    std::string out;
  } cases[] = {
      {{"-r", "save"}, false, 0, refused},
      {{"--strict", "-r", "save"}, false, 255, refused},
      {{"-r", "save"}, true, 255, refused},
      {{"-s", plain}, false, 0, refused + "after\n"},
      {{"--strict", "-s", plain}, false, 255, refused},
      {{"-s", plain}, true, 255, refused},
      {{"-s", own}, false, 255, refused},
      {{"-S", lua}, false, 0, refused},
      {{"--strict", "-S", lua}, false, 255, refused},
      {{"-S", lua}, true, 255, refused},
  };
  for (const auto& c : cases) {
    Strings env;
    if (c.strict_config) env.push_back(config.env());
    e2e::Run r = e2e::velc(sim, c.args, "", env);
    EXPECT_EQ(r.status, c.status) << c.args[1] << c.strict_config;
    EXPECT_EQ(r.out, c.out) << c.args[1] << c.strict_config;
  }
}

// Ctrl-C during the configuration script ends the script, never the shell that follows it.
TEST(ConfigScript, CtrlCEndsTheScriptAndTheShellStarts) {
  Emulator sim;
  k::test::TempDir dir;
  write_file(dir.file("config"), "cat Device.DeviceInfo.Manufacturer\nsleep 600\ncolor prompt 1 2 3\n");
  e2e::Pty pty(e2e::bin_dir() + "/velc", {"-u", sim.socket(), "-c", dir.file("config")},
               {"HOME=" + dir.path(), "VELC_HISTFILE=" + dir.file("history"), "NO_COLOR=1"});
  // The script is in its sleep (or about to be) once its request reached the emulator.
  auto asked = [&] {
    for (const std::string& s : sent(sim, {"GetParameterValues"}))
      if (s.find("Manufacturer") != std::string::npos) return true;
    return false;
  };
  for (int i = 0; i < 600 && !asked(); ++i) usleep(50 * 1000);
  ASSERT_TRUE(asked());
  pty.type(e2e::kCtrlC);
  ASSERT_TRUE(pty.wait_until(e2e::ends_with_prompt)) << pty.text();
  EXPECT_NE(pty.text().find("Norlan Management System client.\n"), std::string::npos);
  size_t from = pty.mark();
  pty.type("color prompt\r");
  ASSERT_TRUE(pty.wait_for("\n220 78 100\n", from)) << pty.text();  // the rest did not run
  pty.type("q\r");
  EXPECT_EQ(pty.wait_exit(), 0);
}

}  // namespace
