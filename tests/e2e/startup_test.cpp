// The command line, start-up and the one-shot modes (notify, raw, event, listen), end to end
// against veld-sim.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "harness/process.h"

namespace {

using e2e::Emulator;

TEST(Startup, OptionsThatNeedNoDaemon) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out_begins;
    std::string err_holds;
  } cases[] = {
      {{"-h", "-u", "/nonexistent"}, 0, "Norlan Management System client.\nUsage: velc [options]\n", ""},
      {{"--version"}, 0, "Norlan Management System client.\nvelc version 0.2.1\n", ""},
      {{"--bogus"}, 1, "", "Usage: velc [options]"},
      {{"-l", "-r", "cat"}, 1, "", "Cannot execute 'request' and 'listen' modes simultaneously.\n"},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::run(e2e::bin_dir() + "/velc", c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.out.rfind(c.out_begins, 0), 0u) << c.args[0] << r.out;
    if (c.out_begins.empty()) {
      EXPECT_EQ(r.out, "");
    }
    EXPECT_NE(r.err.find(c.err_holds), std::string::npos) << c.args[0] << r.err;
  }
  // A run that cannot connect ends with 1 before the mode runs; standard error says where it tried.
  k::test::TempDir dir;
  e2e::Run r = e2e::run(e2e::bin_dir() + "/velc", {"-u", dir.file("none.sock"), "-r", "cat", "Device."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Cannot connect to veld(requests) - No such socket(-3)\n");
  EXPECT_EQ(r.err, "velc: tried unix socket " + dir.file("none.sock") + "\n");
}

TEST(Startup, NotifyModeIsUnsupportedAfterTheGroupsAreJoinedInOrder) {
  Emulator sim;
  e2e::Run r = e2e::velc(sim, {"-g", "7,9", "-n", "x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Unsupported :(\n");
  std::vector<std::string> groups;
  for (const std::string& line : sim.requests()) {
    size_t at = line.find("\"Group\":");
    if (at != std::string::npos) groups.push_back(line.substr(at + 8, line.find_first_of(",}", at) - at - 8));
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"4", "7", "9"}));
}

// The reply is printed whole, and its error code is the exit status.
TEST(RawMode, RequestsRepliesAndStatuses) {
  Emulator sim;
  const std::string reply = "<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": ";
  const struct {
    std::string message;
    int status;
    std::string out_begins;
  } cases[] = {
      {R"({"jsonrpc":"2.0","id":5,"method":"GetParameterValues","params":{"ParameterNames":["Device.DeviceInfo.Manufacturer"]}})",
       0, reply + "5,\n    \"result\": {"},
      {R"({"jsonrpc":"2.0","id":6,"method":"GetParameterValues","params":{"ParameterNames":["Device.Nope."]}})",
       9005 & 255, reply + "6,\n    \"error\": {\n        \"code\": 9005,"},
      {R"({"jsonrpc":"2.0","id":7,"method":"NoSuchMethod"})", (-32601) & 255,
       reply + "7,\n    \"error\": {\n        \"code\": -32601,"},
      {"not json", 255, "Invalid raw JSON message.\n"},
      {R"({"hello":1})", 255, "Incorrect message.\n"},
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":12}})", 0, ""},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, {"--raw", c.message, "ignored", "words"});
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_EQ(r.out.rfind(c.out_begins, 0), 0u) << c.message << "\n" << r.out;
  }
  Emulator slow({"--delay", "3000"});
  e2e::Run r = e2e::velc(slow, {"-t", "1", "--raw", R"({"jsonrpc":"2.0","id":1,"method":"X"})"});
  EXPECT_NE(r.out.find("\"code\": -13,\n        \"message\": \"Timed out\""), std::string::npos) << r.out;
  EXPECT_EQ(r.status, -13 & 255);
}

// The listener prints the events of its group as they come (into a file: flushed each time)
// until stopped: Ctrl-C ends it with 130 as it ends every mode, SIGTERM with 0; it ends by
// itself with 0 when the daemon goes. -l takes no argument: the -g after it is read.
TEST(ListenMode, RelaysTheGroupsEventsUntilStopped) {
  Emulator sim;
  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 0}, std::pair{0, 0}}) {
    sim.clear_requests();
    std::string out_file = sim.dir().file("listener.out" + std::to_string(signal));
    pid_t listener = e2e::start_velc(sim, {"-l", "-g", "7"}, out_file);
    ASSERT_TRUE(e2e::eventually([&] {
      for (const auto& line : sim.requests())
        if (line.find("\"Group\":7") != std::string::npos) return true;
      return false;
    }));
    std::string expected = "Connection dropped\n";
    if (signal != 0) {
      EXPECT_EQ(e2e::velc(sim, {"-e", "7", R"({"text":"hello"})"}).status, 0);
      EXPECT_EQ(e2e::velc(sim, {"-e", "8", R"({"text":"not for you"})"}).status, 0);
      expected = "\nEVENT 7:\n{\n    \"text\": \"hello\"\n}\n";
      EXPECT_TRUE(e2e::eventually([&] { return e2e::read_file(out_file) == expected; }));
      kill(listener, signal);
    } else {
      sim.stop();
    }
    EXPECT_EQ(e2e::wait_exit_status(listener), status) << signal;
    EXPECT_EQ(e2e::read_file(out_file), expected);
  }
}

// Events printed to a pipe arrive whole, in order, as they come: in listen mode, and in the
// shell whose input and output are pipes (it is still running when they are read).
TEST(EventsToAPipe, ArriveWholeAndInOrderWhileVelcRuns) {
  Emulator sim;
  for (bool listen : {true, false}) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    pid_t velc = fork();
    if (velc == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      const std::string program = e2e::bin_dir() + "/velc";
      execl(program.c_str(), program.c_str(), "-u", sim.socket().c_str(), "-g", "7",
            listen ? "-l" : nullptr, nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    for (int i = 0; i < 300 && sim.requests().empty(); ++i) usleep(20000);
    usleep(200000);  // the group joined before the events are sent
    for (const char* text : {"one", "two"})
      EXPECT_EQ(e2e::velc(sim, {"-e", "7", std::string(R"({"text":")") + text + "\"}"}).status, 0);
    const std::string one = "\nEVENT 7:\n{\n    \"text\": \"one\"\n}\n";
    const std::string two = "\nEVENT 7:\n{\n    \"text\": \"two\"\n}\n";
    std::string got;
    for (int i = 0; i < 300 && got.find(two) == std::string::npos; ++i) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[4096];
      ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(waitpid(velc, nullptr, WNOHANG), 0) << "velc ended before its events were read";
    size_t first = got.find(one);
    EXPECT_NE(first, std::string::npos) << got;
    EXPECT_NE(got.find(two, first), std::string::npos) << got;
    close(in[1]);  // the shell ends at the end of its input
    if (listen) kill(velc, SIGTERM);
    EXPECT_EQ(e2e::wait_exit_status(velc), 0) << listen;
    close(out[0]);
  }
}

}  // namespace
