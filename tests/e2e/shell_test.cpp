// The interactive shell on a pseudo-terminal, against veld-sim.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using e2e::Shell;

// Ctrl-C drops the line typed at the prompt, and abandons a request (interrupted once it is with
// the daemon, so that the command is really waiting): the next command gets its own reply, not
// the late one of the abandoned request.
TEST(Shell, CtrlCDropsTheLineAndAbandonsARequest) {
  Emulator sim({"--delay", "3000"});
  Shell sh(sim);
  sh.pty().type("cd Device");
  ASSERT_TRUE(sh.pty().wait_for("cd Device", 0));
  EXPECT_TRUE(sh.keys(e2e::kCtrlC).ends_with("^C\nvelc:> ")) << sh.pty().text();
  EXPECT_EQ(sh.run("pwd"), ":\n");
  sim.clear_requests();
  size_t from = sh.pty().mark();
  sh.pty().type("cat Device.DeviceInfo.ModelName\r");
  ASSERT_TRUE(e2e::eventually([&] { return !sim.requests().empty(); }));
  sh.keys(e2e::kCtrlC);
  EXPECT_EQ(sh.pty().text().find("ModelName =", from), std::string::npos);
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
  sh.pty().type("pw");
  ASSERT_TRUE(sh.pty().wait_for("pw", from));
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
    size_t from = sh.pty().mark();
    sh.pty().type(std::string(command) + "\r");
    ASSERT_TRUE(sh.pty().wait_for("HostName", from)) << command;
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
TEST(Shell, LongTypedLines) {
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
}

// Input that is no terminal is read as it comes, without the editor, by the shell and the Lua
// shell: each line is shown after its prompt, a tab is no completion, "\r" ends a line too, and a
// line of 200 kB takes no longer than its bytes. A line longer than the shell takes is not run,
// and costs no more than the limit: the next line runs.
TEST(Shell, PipedInputIsReadWithoutTheEditor) {
  Emulator sim;
  const std::string long_line = "pwd #" + std::string(200000, 'x');
  const std::string long_lua = "print(#'" + std::string(200000, 'x') + "')";
  e2e::Run r = e2e::velc(sim, {}, "cd Device\r\n\tpwd\n" + long_line + "\nlua\n" + long_lua + "\nquit\n" +
                                      "pwd #" + std::string(1 << 20, 'x') + "\npwd");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "velc: a line longer than 1048576 bytes is not run\n");
  EXPECT_TRUE(r.out.ends_with("velc:> cd Device\nvelc:Device> \nvelc:Device> \tpwd\n:Device\n"
                              "velc:Device> " + long_line + "\n:Device\n"
                              "velc:Device> lua\n> preloaded device\nvelc-lua:Device> " + long_lua + "\n200000\n"
                              "velc-lua:Device> quit\nvelc:Device> pwd\n:Device\nvelc:Device> \n")) << r.out.substr(0, 500);
}

// Text from the device cannot take over the terminal: its control characters are shown escaped
// there, while piped output keeps every byte. The history file is private and leaves out lines
// led by a blank; the next shell starts with it: Up brings the line back.
TEST(Shell, ControlCharactersAndTheHistoryFile) {
  Emulator sim;
  const std::string path = "Device.DeviceInfo.ProvisioningCode";
  ASSERT_EQ(e2e::velc(sim, {"-r", "set", path + R"(="\u001b]0;owned\u007f\r")"}).status, 0);
  EXPECT_EQ(e2e::velc(sim, {"-r", "cat", path}).out, "ProvisioningCode = '\033]0;owned\x7f\r'\n");
  Shell sh(sim);
  EXPECT_EQ(sh.run(" pwd"), ":\n");
  EXPECT_EQ(sh.run("cat " + path), "ProvisioningCode = '\\x1b]0;owned\\x7f\\x0d'\n");
  sh.quit("q\r");
  struct stat st {};
  ASSERT_EQ(lstat(sh.history().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  Shell again(sim, {}, sh.history());
  again.pty().type("\033[A");
  EXPECT_EQ(again.run("").rfind("ProvisioningCode = ", 0), 0u);
  again.quit(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(sh.history()), "cat " + path + "\ncat " + path + "\n");
}

}  // namespace
