// The interactive shell on a pseudo-terminal, against veld-sim: Ctrl-C, events, what the device's
// texts may do to the terminal, long lines, piped input, the history file; completion on Tab and
// hints while typing (the rules themselves are the unit tests'); session recording and its replay.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "platform/colors.h"

namespace {

using e2e::Emulator;
using e2e::Shell;

// Ctrl-C drops the line typed at the prompt, and abandons a request (interrupted once it is with
// the daemon, so that the command is really waiting): the next command gets its own reply, not
// the late one of the abandoned request.
TEST(Shell, CtrlCDropsTheLineAndAbandonsARequest) {
  Emulator sim({"--delay", "3000"});
  Shell sh(sim);
  ASSERT_TRUE(sh.pty().type_until("cd Device", "cd Device"));
  EXPECT_TRUE(sh.keys(e2e::kCtrlC).ends_with("^C\nvelc:> ")) << sh.pty().text();
  EXPECT_EQ(sh.run("pwd"), ":\n");
  sim.clear_requests();
  sh.pty().type("cat Device.DeviceInfo.ModelName\r");
  ASSERT_TRUE(e2e::eventually([&] { return !sim.requests().empty(); }));
  EXPECT_EQ(sh.keys(e2e::kCtrlC).find("ModelName ="), std::string::npos);
  EXPECT_EQ(sh.run("cat Device.DeviceInfo.DeviceMode"), "DeviceMode = 'Router'\n");
  sh.quit("q\r");
}

// Events are printed above the half-typed line; the data-model changes of others are not
// printed, but the cache follows them (once an event sent after them is printed, they have
// arrived too); losing the daemon ends the shell without a dead prompt.
TEST(Shell, EventsAndTheChangesOfOthers) {
  Emulator sim({"--hosts", "2"});
  Shell sh(sim, {"-g", "7"});
  const std::string max = "Device.Hosts.Host.max_instance";
  EXPECT_EQ(sh.run("ls Device.Hosts.Host"), "Device.Hosts.Host.1.            " + max + "\nDevice.Hosts.Host.2.\n");
  size_t from = sh.pty().mark();
  ASSERT_TRUE(sh.pty().type_until("pw", "pw"));
  EXPECT_EQ(e2e::velc(sim, {"-r", "add", "Device.Hosts.Host."}).status, 3);
  EXPECT_EQ(e2e::velc(sim, {"-r", "del", "Device.Hosts.Host.1."}).status, 0);
  ASSERT_EQ(e2e::velc(sim, {"-e", "7", "{\"a\":1}"}).status, 0);
  ASSERT_TRUE(sh.pty().wait_for("pw\nEVENT 7:\n{\n    \"a\": 1\n}\nvelc:> pw", from)) << sh.pty().text();
  EXPECT_NE(sh.keys("d\r").find("d\n:\nvelc:> "), std::string::npos);  // the half line goes on
  EXPECT_EQ(sh.run("ls Device.Hosts.Host"), "Device.Hosts.Host.2.            " + max + "\nDevice.Hosts.Host.3.\n");
  EXPECT_EQ(sh.run("cat Device.Hosts.Host.1.HostName").rfind("[9005] ", 0), 0u);  // not shown empty

  from = sh.pty().mark();
  sim.stop();
  EXPECT_EQ(sh.pty().wait_exit(), 0);
  EXPECT_TRUE(sh.pty().text().substr(from).ends_with("Connection dropped\n")) << sh.pty().text();
}

// Ctrl-C stops a long listing and a long drawing: the prompt comes back and nothing of the
// abandoned output follows it.
TEST(Shell, CtrlCStopsLongOutput) {
  Emulator sim({"--hosts", "5000"});
  Shell sh(sim);
  for (const char* command : {"cat Device.Hosts.", "catree Device.Hosts."}) {
    ASSERT_TRUE(sh.pty().type_until(std::string(command) + "\r", "HostName")) << command;
    std::string printed = sh.keys(e2e::kCtrlC);
    // 5000 hosts make 65 000 lines; printing stopped long before (velc may run some way ahead
    // of the harness's reading by then).
    EXPECT_LT(std::count(printed.begin(), printed.end(), '\n'), 30000) << command;
    EXPECT_EQ(sh.run("pwd"), ":\n");
  }
}

// A line far longer than a row, typed in the shell and the Lua shell: on a terminal the editor
// suits it is drawn over several rows (with and without the hints, which colours bring); on one
// that cannot move the cursor up (TERM=dumb) it is read as the terminal gives it, and there are no
// colours. Under the sanitizers a read past readline's buffers ends the run.
TEST(Shell, LongLinesControlCharactersAndTheHistoryFile) {
  Emulator sim;
  const std::string xs(3000, 'x');
  for (const auto& [colours, env] : {std::pair{false, ""}, std::pair{true, ""}, std::pair{true, "TERM=dumb"}}) {
    Shell sh(sim, {}, "", colours, *env ? std::vector<std::string>{env} : std::vector<std::string>{});
    EXPECT_TRUE(sh.keys("pwd #" + xs + "\r").ends_with("xxx\n:\nvelc:> ")) << sh.pty().text();
    sh.run("lua");
    EXPECT_TRUE(sh.keys("print(#'" + xs + "')\r").ends_with("\n3000\nvelc-lua:> ")) << sh.pty().text();
    if (*env) {
      EXPECT_EQ(sh.pty().raw().find('\033'), std::string::npos);
    }
    sh.quit(std::string(e2e::kCtrlD) + "q\r");
  }
  // Input that is no terminal is read as it comes, without the editor, by the shell and the Lua
  // shell: each line is shown after its prompt, a tab is no completion, "\r" ends a line too, and
  // a line of 200 kB takes no longer than its bytes. A line longer than the shell takes is not
  // run, and costs no more than the limit: the next line runs.
  const std::string long_line = "pwd #" + std::string(200000, 'x');
  const std::string long_lua = "print(#'" + std::string(200000, 'x') + "')";
  e2e::Run r = e2e::velc(sim, {}, "cd Device\r\n\tpwd\n" + long_line + "\nlua\n" + long_lua + "\nquit\n" +
                                      "pwd #" + std::string(1 << 20, 'x') + "\npwd");
  EXPECT_TRUE(r.all().ends_with("velc:> cd Device\nvelc:Device> \nvelc:Device> \tpwd\n:Device\n"
                              "velc:Device> " + long_line + "\n:Device\n"
                              "velc:Device> lua\n> preloaded device\nvelc-lua:Device> " + long_lua + "\n200000\n"
                              "velc-lua:Device> quit\nvelc:Device> pwd\n:Device\nvelc:Device> \n|velc: a line longer than 1048576 bytes is not run\n"))
      << r.out.substr(0, 500) << r.err;
  EXPECT_EQ(r.status, 0);
  // Text from the device cannot take over the terminal: its control characters are shown escaped
  // there, while piped output keeps every byte. The history file leaves out lines led by a blank;
  // the next shell starts with it: Up brings the line back.
  const std::string path = "Device.DeviceInfo.ProvisioningCode";
  ASSERT_EQ(e2e::velc(sim, {"-r", "set", path + R"(="\u001b]0;owned\u007f\r")"}).status, 0);
  EXPECT_EQ(e2e::velc(sim, {"-r", "cat", path}).out, "ProvisioningCode = '\033]0;owned\x7f\r'\n");
  Shell sh(sim);
  EXPECT_EQ(sh.run(" pwd"), ":\n");
  EXPECT_EQ(sh.run("cat " + path), "ProvisioningCode = '\\x1b]0;owned\\x7f\\x0d'\n");
  sh.quit("q\r");
  Shell again(sim, {}, sh.history());
  again.pty().type("\033[A");
  EXPECT_EQ(again.run("").rfind("ProvisioningCode = ", 0), 0u);
  again.quit(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(sh.history()), "cat " + path + "\ncat " + path + "\n");
}

// A recording is a file of the lines the history took while it ran, and runs again with
// `velc -s` from the root: no password, no line typed with a leading blank, nothing from before
// it; "q" writes it and ends the recording, not the shell.
TEST(Record, ASessionRunsBack) {
  Emulator sim({"--access", e2e::accounts()});
  Shell sh(sim, {"--auth", "admin:admin"});
  k::test::TempDir dir;
  const std::string file = dir.file("session.velc");
  sh.run("cat Device.Time.NTPServer2");  // before the recording
  EXPECT_EQ(sh.run("record " + file), "");
  EXPECT_EQ(e2e::last_line(sh.pty().text()), "admin@velc-record:> ");
  EXPECT_EQ(sh.run("login support -p support"), "");  // a password on the line
  sh.run(" cat Device.DeviceInfo.Manufacturer");      // a leading blank
  ASSERT_TRUE(sh.pty().type_until("login admin\r", "password for admin: ")) << sh.pty().text();
  sh.keys("admin\r");  // a password at the prompt
  sh.run("cd Device.Time");
  EXPECT_EQ(sh.run("set Enable=false"), "key = Enable, value = false\nStatus: OK\n");
  std::string printed = sh.run("cat ntpserver1");
  EXPECT_EQ(sh.run("q"), "");
  EXPECT_EQ(e2e::last_line(sh.pty().text()), "admin@velc:Device.Time> ");
  EXPECT_EQ(e2e::read_file(file), "# cd Device.Time\nset Device.Time.Enable=false\ncat Device.Time.NTPServer1\n");

  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()).find("\nq\n"), std::string::npos);
  e2e::Run again = e2e::velc(sim, {"--auth", "admin:admin", "-s", file});
  EXPECT_EQ(again.all(), "0|key = Device.Time.Enable, value = false\nStatus: OK\n" + printed + "|");
}

// Each line is typed with Tab and dropped with Ctrl-C; the screen shows what Tab added, or the
// list that two Tabs show below the line, which is then drawn again.
TEST(Completion, TabAndHintsThroughTheKeyboard) {
  Emulator sim({"--hosts", "150"});
  Shell sh(sim);
  const std::pair<const char*, const char*> cases[] = {
      {"cat Device.WiFi.SSID.\t\t", "\n1.            2.            3.            max_instance  \nvelc:> cat Device.WiFi.SSID."},
      {"cat Device.Hosts.Host.\t\t", "Display all 151 possibilities? (y or n)"},
      {"n", "velc:> cat Device.Hosts.Host."},  // "n" gives the line back unchanged
  };
  for (const auto& [keys, wanted] : cases) {
    EXPECT_TRUE(sh.pty().type_until(keys, wanted)) << keys << ":\n" << sh.pty().text();
    if (std::string(wanted).rfind("Display", 0) != 0) sh.keys(e2e::kCtrlC);
  }
  // A completed line runs as typed.
  EXPECT_NE(sh.keys("cd Device.Hos\t\r").find("velc:Device.Hosts> "), std::string::npos);
  // Hints: the rest of the only candidate after the cursor in the hint colour, erased when no
  // candidate is left and before Enter, back after Backspace; `opt hint off` stops them.
  Shell hinted(sim, {}, "", /*colours=*/true);
  const std::string hint = k::hsv_sequence(k::ColourTable{}.entries[k::kColourHint]);
  size_t from = 0;
  auto shows = [&](const std::string& keys, const std::string& raw) {
    from = hinted.pty().raw().size();
    hinted.pty().type(keys);
    return hinted.pty().wait_until([&](const std::string&) { return hinted.pty().raw().find(raw, from) != std::string::npos; });
  };
  auto since = [&] { return hinted.pty().raw().substr(from); };
  ASSERT_TRUE(shows("cd Device.DeviceIn", hint + "fo.\033[0m\033[3D")) << since();
  ASSERT_TRUE(shows("x", "x")) << since();
  EXPECT_EQ(since().rfind("\033[K", 0), 0u) << since();
  EXPECT_EQ(since().find(hint), std::string::npos) << since();
  ASSERT_TRUE(shows("\x7f", hint + "fo.")) << since();
  from = hinted.pty().raw().size();
  EXPECT_NE(hinted.keys("\r").find("no such node"), std::string::npos);  // the line ran as typed
  EXPECT_EQ(since().rfind("\033[K", 0), 0u) << since();
  hinted.keys("opt hint off\r");  // (typed: the screen text of a line typed with hints holds them)
  from = hinted.pty().raw().size();
  hinted.pty().type("he");
  hinted.keys(e2e::kCtrlC);
  EXPECT_EQ(since().find(hint), std::string::npos) << since();
}

}  // namespace
