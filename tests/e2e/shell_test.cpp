// The interactive shell on a pseudo-terminal, against veld-sim.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "harness/process.h"
#include "harness/pty.h"
#include "platform/json.h"

namespace {

using e2e::Emulator;
using e2e::Pty;

const char* const kBanner =
    "Norlan Management System client.\n***\nWARNING - for experts only!\nThis tool is not "
    "intended to use by users 'cause it can cause harm to the device!\n***\nInteractive mode. "
    "\nEnter 'help' or '?' for help, 'q' for exit.\n";

// The last line of a screen text.
std::string last_line(const std::string& screen) {
  size_t nl = screen.rfind('\n');
  return nl == std::string::npos ? screen : screen.substr(nl + 1);
}

// True when the screen ends with a shell prompt, after any redraws on the same line.
bool ends_with_prompt(const std::string& screen) {
  std::string line = last_line(screen);
  return line.size() >= 2 && line.compare(line.size() - 2, 2, "> ") == 0 &&
         line.find("velc") != std::string::npos;
}

// velc's interactive shell on a terminal, with its own home folder and history file.
class Shell {
 public:
  explicit Shell(const Emulator& sim, std::vector<std::string> args = {},
                 std::vector<std::string> env = {})
      : history_(home_.file("history")) {
    std::vector<std::string> all = {"-u", sim.socket()};
    all.insert(all.end(), args.begin(), args.end());
    env.insert(env.begin(),
               {"HOME=" + home_.path(), "VELC_HISTFILE=" + history_, "NO_COLOR=1"});
    pty_ = std::make_unique<Pty>(e2e::bin_dir() + "/velc", all, env, 24, 80);
  }

  Pty& pty() { return *pty_; }
  const std::string& history() const { return history_; }

  // Waits for the first prompt; true when it came.
  bool started() { return pty_->wait_until(ends_with_prompt); }

  // Types a line and waits for the next prompt. Gives what the command printed: the text
  // between the echo of the line and the prompt's line.
  std::string run(const std::string& line) {
    size_t from = pty_->mark();
    pty_->type(line + "\r");
    std::string echo = line + "\n";
    bool done = pty_->wait_until([&](const std::string& screen) {
      size_t at = screen.find(echo, from);
      return at != std::string::npos && ends_with_prompt(screen.substr(at + echo.size()));
    });
    EXPECT_TRUE(done) << "no prompt after '" << line << "':\n" << pty_->text();
    std::string screen = pty_->text();
    size_t at = screen.find(echo, from);
    if (at == std::string::npos) return {};
    std::string out = screen.substr(at + echo.size());
    // The prompt's line may begin with the end of an output that has no line end.
    size_t line_start = out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1;
    return out.substr(0, line_start + out.substr(line_start).find("velc"));
  }

  // The prompt now shown.
  std::string prompt() {
    pty_->mark();
    return last_line(pty_->text());
  }

 private:
  e2e::TempDir home_;
  std::string history_;
  std::unique_ptr<Pty> pty_;
};

// The requests logged by the emulator, as (method, first parameter name) pairs.
std::vector<std::string> logged(const Emulator& sim) {
  std::vector<std::string> out;
  for (const std::string& line : sim.requests()) {
    k::Json j = k::json_parse(line, 0);
    std::string method = k::json_text(j.get(), "method");
    json_t* names = json_object_get(json_object_get(j.get(), "params"), "ParameterNames");
    const char* first = json_string_value(json_array_get(names, 0));
    out.push_back(method + " " + (first ? first : ""));
  }
  return out;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

TEST(Shell, BannerPromptAndQuit) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started()) << sh.pty().text();
  EXPECT_EQ(sh.pty().text().rfind(kBanner, 0), 0u) << sh.pty().text();
  EXPECT_EQ(sh.prompt(), "velc:> ");
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, PromptIsColouredOnTerminal) {
  Emulator sim;
  Shell sh(sim, {}, {"NO_COLOR"});
  ASSERT_TRUE(sh.started()) << sh.pty().text();
  // The default prompt colour (hue 220, saturation 78, value 100) as a 24-bit sequence.
  EXPECT_NE(sh.pty().raw().find("\033[38;2;56;122;255mvelc:> \033[0m"), std::string::npos)
      << sh.pty().raw();
  sh.pty().type(e2e::kCtrlD);
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, HelpUnknownAndEmptyLines) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  std::string help = sh.run("help");
  EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 35) << help;
  EXPECT_EQ(help.rfind("add <path> ", 0), 0u) << help;
  EXPECT_EQ(sh.run("?"), help);
  EXPECT_EQ(sh.run("foo bar"), "foo: command not found.\n");
  EXPECT_EQ(sh.run("LS"), "LS: command not found.\n");
  EXPECT_EQ(sh.run(""), "");
  EXPECT_EQ(sh.run("   "), "");          // no command word: nothing to run
  EXPECT_EQ(sh.run("# a note"), "");
  EXPECT_EQ(sh.run("opt hint maybe"), "syntax: opt autocomplete|hint on|off");
  EXPECT_EQ(sh.run("color hint * * 80"), "120 100 80\n");
  sh.pty().type("quit\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, DataModelCommands) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  EXPECT_EQ(sh.run("cd Device"), "");
  EXPECT_EQ(sh.prompt(), "velc:Device> ");
  EXPECT_EQ(sh.run("pwd"), ":Device\n");
  std::string ls = sh.run("ls");
  for (const char* child : {"DeviceInfo.", "Hosts.", "Firewall.", "WiFi.", "IP."})
    EXPECT_NE(ls.find(child), std::string::npos) << child << " in\n" << ls;
  EXPECT_EQ(sh.run("cd Nowhere"), "cd: Nowhere: no such node\n");
  EXPECT_EQ(sh.prompt(), "velc:Device> ");
  EXPECT_EQ(sh.run("set DeviceInfo.DeviceMode=Bridge").find("Status: OK\n") != std::string::npos,
            true);
  EXPECT_EQ(sh.run("cat DeviceInfo.DeviceMode"), "DeviceMode = 'Bridge'\n");
  EXPECT_EQ(sh.run("cd Firewall.Chain.1.Rule"), "");
  std::string added = sh.run("add .");
  ASSERT_EQ(added.rfind("Instance number: ", 0), 0u) << added;
  std::string number = added.substr(17, added.find('\n') - 17);
  EXPECT_EQ(added, "Instance number: " + number + "\nStatus: OK\n");
  EXPECT_EQ(sh.run("del " + number), "Status: OK\n");
  EXPECT_EQ(sh.run("up 3"), "");
  EXPECT_EQ(sh.prompt(), "velc:Device.Firewall> ");
  EXPECT_EQ(sh.run("up"), "");
  EXPECT_EQ(sh.prompt(), "velc:Device> ");
  EXPECT_EQ(sh.run("up 5"), "");  // stops at the root
  EXPECT_EQ(sh.prompt(), "velc:> ");
  sh.pty().type(e2e::kCtrlD);
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, CtrlCAtPromptDropsLine) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  size_t from = sh.pty().mark();
  sh.pty().type("cd Device");
  ASSERT_TRUE(sh.pty().wait_for("cd Device", from));
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_for("cd Device^C\nvelc:> ", from)) << sh.pty().text();
  // The dropped line did not run, and the shell goes on.
  EXPECT_EQ(sh.run("pwd"), ":\n");
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, CtrlCAbandonsSlowRequest) {
  Emulator sim({"--delay", "3000"});
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  sim.clear_requests();
  size_t from = sh.pty().mark();
  sh.pty().type("cat Device.DeviceInfo.ModelName\r");
  ASSERT_TRUE(sh.pty().wait_for("ModelName\n", from));
  // Interrupt once the request is with the daemon, so that the command is really waiting.
  for (int i = 0; i < 600 && sim.requests().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_FALSE(sim.requests().empty());
  sh.pty().type(e2e::kCtrlC);
  ASSERT_TRUE(sh.pty().wait_until(
      [&](const std::string& s) { return ends_with_prompt(s.substr(from)); }))
      << sh.pty().text();
  EXPECT_EQ(sh.pty().text().find("ModelName =", from), std::string::npos);
  // The next command gets its own reply, not the late one of the abandoned request.
  EXPECT_EQ(sh.run("cat Device.DeviceInfo.DeviceMode"), "DeviceMode = 'Router'\n");
  EXPECT_EQ(sh.run("pwd"), ":\n");
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, EventPrintedAboveHalfTypedLine) {
  Emulator sim;
  Shell sh(sim, {"-g", "7"});
  ASSERT_TRUE(sh.started());
  size_t from = sh.pty().mark();
  sh.pty().type("pw");
  ASSERT_TRUE(sh.pty().wait_for("pw", from));
  e2e::Run sent = e2e::velc(sim, {"-e", "7", "{\"a\":1}"});
  ASSERT_EQ(sent.status, 0) << sent.out << sent.err;
  ASSERT_TRUE(sh.pty().wait_for("\nEVENT 7:\n{\n    \"a\": 1\n}\n", from)) << sh.pty().text();
  // The prompt comes back with the half line, which can be completed.
  ASSERT_TRUE(sh.pty().wait_until([](const std::string& s) { return last_line(s) == "velc:> pw"; }))
      << sh.pty().text();
  from = sh.pty().mark();
  sh.pty().type("d\r");
  ASSERT_TRUE(sh.pty().wait_for("d\n:\nvelc:> ", from)) << sh.pty().text();
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, DataModelChangeEventsAreQueuedSilently) {
  Emulator sim;
  Shell sh(sim, {"-g", "7"});
  ASSERT_TRUE(sh.started());
  size_t from = sh.pty().mark();
  e2e::Run added = e2e::velc(sim, {"-r", "add", "Device.Firewall.Chain.1.Rule."});
  ASSERT_GT(added.status, 0) << added.out << added.err;  // the new instance's number
  // Events arrive in order: once this one is printed, the change event has been handled.
  ASSERT_EQ(e2e::velc(sim, {"-e", "7", "{\"b\":2}"}).status, 0);
  ASSERT_TRUE(sh.pty().wait_for("\"b\": 2", from)) << sh.pty().text();
  std::string screen = sh.pty().text().substr(from);
  EXPECT_EQ(screen.find("EVENT 4"), std::string::npos) << screen;
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 5) << screen;  // "\nEVENT 7:\n{..}\n"
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, LostEventsConnectionEndsShell) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  size_t from = sh.pty().mark();
  sh.pty().type("pw");
  ASSERT_TRUE(sh.pty().wait_for("pw", from));
  sim.stop();
  ASSERT_TRUE(sh.pty().wait_for("Connection dropped\n", from)) << sh.pty().text();
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

TEST(Shell, HistoryFileLeavesOutBlankLedLinesAndQuit) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  sh.run(" cd Device");
  EXPECT_EQ(sh.prompt(), "velc:Device> ");  // it ran
  sh.run("pwd");
  sh.run("");
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\n");
  struct stat st {};
  ASSERT_EQ(lstat(sh.history().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The next shell starts with that history: Up brings the line back.
  Shell again(sim, {}, {"VELC_HISTFILE=" + sh.history()});
  ASSERT_TRUE(again.started());
  size_t from = again.pty().mark();
  again.pty().type("\033[A\r");
  // Wait for the prompt: a Ctrl-D typed while a command runs meets a terminal in its normal
  // mode, which takes it as end of file and does not pass it on.
  ASSERT_TRUE(again.pty().wait_until([&](const std::string& s) {
    size_t at = s.find("pwd\n:\n", from);
    return at != std::string::npos && ends_with_prompt(s.substr(at));
  })) << again.pty().text();
  again.pty().type(e2e::kCtrlD);
  EXPECT_EQ(again.pty().wait_exit(), 0);
  EXPECT_EQ(e2e::read_file(sh.history()), "pwd\npwd\n");
}

TEST(Shell, HistoryFileSymlinkIsNotFollowed) {
  Emulator sim;
  e2e::TempDir dir;
  std::string target = dir.file("precious");
  std::string link = dir.file("history");
  {
    FILE* f = std::fopen(target.c_str(), "w");
    std::fputs("precious\n", f);
    std::fclose(f);
  }
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  Shell sh(sim, {}, {"VELC_HISTFILE=" + link});
  ASSERT_TRUE(sh.started());
  sh.run("pwd");
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
  EXPECT_EQ(e2e::read_file(target), "precious\n");
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(Shell, SchemaCacheFetchesEachLevelOnce) {
  Emulator sim;
  Shell sh(sim);
  ASSERT_TRUE(sh.started());
  sh.run("cd Device");
  sim.clear_requests();
  sh.run("cat DeviceInfo");
  EXPECT_EQ(joined(logged(sim)),
            "GetParameterAttributes Device.\nGetParameterValues Device.DeviceInfo.\n");
  sim.clear_requests();
  sh.run("cat DeviceInfo");
  EXPECT_EQ(joined(logged(sim)), "GetParameterValues Device.DeviceInfo.\n");

  sh.run("cd Hosts");
  sh.run("ls");
  sim.clear_requests();
  std::string hosts = sh.run("ls Host");
  EXPECT_NE(hosts.find("1."), std::string::npos) << hosts;
  // The table comes with all its instances in one go: one names request, and one attributes
  // request naming every instance.
  std::vector<std::string> table = logged(sim);
  auto count = [&](const std::string& prefix) {
    return std::count_if(table.begin(), table.end(),
                         [&](const std::string& r) { return r.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(count("GetParameterNames"), 1) << joined(table);
  EXPECT_EQ(count("GetParameterAttributes Device.Hosts.Host.1."), 1) << joined(table);
  EXPECT_EQ(count("GetParameterAttributes Device.Hosts.Host.2."), 0) << joined(table);
  sim.clear_requests();
  sh.run("cd Host.1");
  sh.run("ls");
  EXPECT_EQ(joined(logged(sim)), "");
  sh.pty().type("q\r");
  EXPECT_EQ(sh.pty().wait_exit(), 0);
}

}  // namespace
