// The interactive shell on a pseudo-terminal, against veld-sim.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "harness/shell_session.h"

namespace {

using e2e::Emulator;
using e2e::Pty;
using e2e::Shell;
using e2e::ends_with_prompt;
using e2e::last_line;

TEST(Shell, BannerPromptAndCtrlC) {
  Emulator sim({"--delay", "3000"});
  Shell sh(sim);
  EXPECT_EQ(sh.pty().text().rfind(
                "Norlan Management System client.\n***\nWARNING - for experts only!\nThis tool is "
                "not intended to use by users 'cause it can cause harm to the device!\n***\n"
                "Interactive mode. \nEnter 'help' or '?' for help, 'q' for exit.\nvelc:> ",
                0),
            0u)
      << sh.pty().text();
  // At the prompt, Ctrl-C drops the line typed.
  size_t from = sh.pty().mark();
  sh.pty().type("cd Device");
  ASSERT_TRUE(sh.pty().wait_for("cd Device", from));
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_for("cd Device^C\nvelc:> ", from)) << sh.pty().text();
  EXPECT_EQ(sh.run("pwd"), ":\n");

  // During a request, Ctrl-C abandons it; interrupt once the request is with the daemon, so
  // that the command is really waiting.
  sim.clear_requests();
  from = sh.pty().mark();
  sh.pty().type("cat Device.DeviceInfo.ModelName\r");
  for (int i = 0; i < 600 && sim.requests().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_FALSE(sim.requests().empty());
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) {
    return ends_with_prompt(s.substr(from));
  })) << sh.pty().text();
  EXPECT_EQ(sh.pty().text().find("ModelName =", from), std::string::npos);
  // The next command gets its own reply, not the late one of the abandoned request.
  EXPECT_EQ(sh.run("cat Device.DeviceInfo.DeviceMode"), "DeviceMode = 'Router'\n");
  sh.quit("q\r");
}

// Events are printed above the half-typed line; the data-model changes of others are not
// printed, but the cache follows them (once an event sent after them is printed, they have
// arrived too); losing the daemon ends the shell.
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
  ASSERT_TRUE(sh.pty().wait_for("\nEVENT 7:\n{\n    \"a\": 1\n}\n", from)) << sh.pty().text();
  ASSERT_TRUE(sh.pty().wait_until([](const std::string& s) { return last_line(s) == "velc:> pw"; }))
      << sh.pty().text();
  std::string screen = sh.pty().text().substr(from);
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 5) << screen;  // "\nEVENT 7:\n{..}\n"
  from = sh.pty().mark();
  sh.pty().type("d\r");  // the half line goes on
  ASSERT_TRUE(sh.pty().wait_for("d\n:\nvelc:> ", from)) << sh.pty().text();
  EXPECT_EQ(sh.run("ls Device.Hosts.Host"), "Device.Hosts.Host.2.            " + max + "\nDevice.Hosts.Host.3.\n");
  // The deleted instance is not shown with empty values: veld says it is not there.
  EXPECT_EQ(sh.run("cat Device.Hosts.Host.1.HostName").rfind("[9005] ", 0), 0u);

  from = sh.pty().mark();
  sim.stop();
  ASSERT_TRUE(sh.pty().wait_for("Connection dropped\n", from)) << sh.pty().text();
  EXPECT_EQ(sh.pty().wait_exit(), 0);
  std::string after = sh.pty().text().substr(sh.pty().text().rfind("Connection dropped\n"));
  EXPECT_EQ(after.find("velc"), std::string::npos) << after;  // no dead prompt after it
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
    sh.pty().type(e2e::kCtrlC);
    ASSERT_TRUE(sh.pty().wait_until([&](const std::string& s) {
      return ends_with_prompt(s.substr(from));
    })) << command;
    std::string printed = sh.pty().text().substr(from);
    // 5000 hosts make 65 000 lines; printing stopped long before. (The harness reads the
    // terminal while it waits for the first lines, so velc may run some way ahead by then.)
    EXPECT_LT(std::count(printed.begin(), printed.end(), '\n'), 30000) << command;
    EXPECT_EQ(sh.run("pwd"), ":\n");  // nothing of the listing arrives after the prompt
  }
  sh.quit("q\r");
}

// Text from the device cannot take over the terminal: its control characters are shown escaped
// there, while piped output keeps every byte.
TEST(Shell, ControlCharactersFromTheDeviceAreEscapedOnTheTerminal) {
  Emulator sim;
  const std::string path = "Device.DeviceInfo.ProvisioningCode";
  e2e::Run set = e2e::velc(sim, {"-r", "set", path + R"(="\u001b]0;owned\u0007\r")"});
  ASSERT_EQ(set.status, 0) << set.out;
  EXPECT_EQ(e2e::velc(sim, {"-r", "cat", path}).out, "ProvisioningCode = '\033]0;owned\a\r'\n");
  Shell sh(sim);
  EXPECT_EQ(sh.run("cat " + path), "ProvisioningCode = '\\x1b]0;owned\\x07\\x0d'\n");
  sh.quit("q\r");
}

// A line far longer than a row, typed: on a terminal the editor suits it is drawn over several
// rows (with and without the hints, which colours bring); on one that cannot move the cursor up
// (TERM=dumb) it is read as the terminal gives it, and there are no colours. Under the sanitizers
// a read past readline's buffers ends the run.
TEST(Shell, LongTypedLines) {
  Emulator sim;
  const std::string line = "pwd #" + std::string(3000, 'x');
  struct Case {
    bool colours;
    std::vector<std::string> env;
  };
  for (const Case& c : {Case{false, {}}, Case{true, {}}, Case{true, {"TERM=dumb"}}}) {
    Shell sh(sim, {}, "", c.colours, c.env);
    size_t from = sh.pty().mark();
    sh.pty().type(line + "\r");
    // (Rows drawn by the editor end in the blank that makes the terminal wrap.)
    EXPECT_TRUE(sh.pty().wait_for("xxx\n:\nvelc:> ", from)) << sh.pty().text();
    // The Lua shell reads its lines the same way.
    sh.pty().type("lua\r");
    ASSERT_TRUE(sh.pty().wait_for("velc-lua:> ", from)) << sh.pty().text();
    sh.pty().type("print(#'" + std::string(3000, 'x') + "')\r");
    EXPECT_TRUE(sh.pty().wait_for("\n3000\nvelc-lua:> ", from)) << sh.pty().text();
    sh.pty().type("quit\r");
    EXPECT_TRUE(sh.pty().wait_for("velc-lua:> quit\nvelc:> ", from)) << sh.pty().text();
    if (!c.env.empty()) {
      EXPECT_EQ(sh.pty().raw().find('\033'), std::string::npos);
    }
    sh.quit("q\r");
  }
}

// Input that is no terminal is read as it comes, without the editor, by the shell and the Lua
// shell: each line is shown after its prompt, a tab is no completion, "\r" ends a line too, and a
// line of 200 kB takes no longer than its bytes (through the editor it took minutes: the harness
// gives up after one).
TEST(Shell, PipedInputIsReadWithoutTheEditor) {
  Emulator sim;
  const std::string long_line = "pwd #" + std::string(200000, 'x');
  const std::string long_lua = "print(#'" + std::string(200000, 'x') + "')";
  e2e::Run r = e2e::velc(sim, {}, "cd Device\r\n\tpwd\n" + long_line + "\nlua\n" + long_lua +
                                      "\nquit\npwd");
  EXPECT_EQ(r.status, 0) << r.err;
  size_t at = r.out.find("velc:> ");
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(at), "velc:> cd Device\nvelc:Device> \nvelc:Device> \tpwd\n:Device\n"
                              "velc:Device> " + long_line + "\n:Device\n"
                              "velc:Device> lua\n> preloaded device\nvelc-lua:Device> " + long_lua + "\n200000\n"
                              "velc-lua:Device> quit\n"
                              "velc:Device> pwd\n:Device\nvelc:Device> \n");

  // A line longer than the shell takes is not run, and costs no more than the limit: the next
  // line runs.
  r = e2e::velc(sim, {}, "pwd #" + std::string(1 << 20, 'x') + "\ncd Device\npwd\n");
  EXPECT_EQ(r.err, "velc: a line longer than 1048576 bytes is not run\n");
  EXPECT_NE(r.out.find("velc:> cd Device\nvelc:Device> pwd\n:Device\n"), std::string::npos);
  EXPECT_EQ(r.out.find(":\n"), std::string::npos);  // the long pwd did not run
}

TEST(Shell, HistoryFileIsPrivateAndLeavesOutBlankLedLines) {
  Emulator sim;
  Shell sh(sim);
  sh.run(" cd Device");
  EXPECT_EQ(sh.run("pwd"), ":Device\n");  // the line led by a blank ran
  sh.run("");
  sh.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\n");
  struct stat st {};
  ASSERT_EQ(lstat(sh.history().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The next shell starts with that history: Up brings the line back.
  Shell again(sim, {}, sh.history());
  again.pty().type("\033[A");
  EXPECT_EQ(again.run(""), ":\n");
  again.quit(e2e::kCtrlD);
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\npwd\n");

  // A symbolic link in its place is neither followed nor replaced.
  std::string link = sh.history() + ".link";
  ASSERT_EQ(symlink(sh.history().c_str(), link.c_str()), 0);
  Shell linked(sim, {}, link);
  linked.run("cd Device");
  linked.quit("q\r");
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\npwd\n");
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(linked.pty().text().find("Warning: the history file " + link +
                                     " is not used: it is a symbolic link.\n"),
            std::string::npos)
      << linked.pty().text();
}

}  // namespace
