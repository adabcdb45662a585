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
using Strings = std::vector<std::string>;

// An unknown option, and a run that cannot connect (it ends with 1 before the mode runs and
// says where it tried); notify mode is unsupported, after the groups are joined in order.
TEST(Startup, FailuresBeforeTheModeAndNotifyMode) {
  k::test::TempDir dir;
  e2e::Run bogus = e2e::run(e2e::bin_dir() + "/velc", {"--bogus"});
  EXPECT_EQ(bogus.status, 1);
  EXPECT_NE(bogus.err.find("Usage: velc [options]"), std::string::npos) << bogus.err;
  e2e::Run r = e2e::run(e2e::bin_dir() + "/velc", {"-u", dir.file("none.sock"), "-r", "cat", "Device."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out + r.err, "Cannot connect to veld(requests) - No such socket(-3)\n"
                           "velc: tried unix socket " + dir.file("none.sock") + "\n");

  Emulator sim;
  r = e2e::velc(sim, {"-g", "7,9", "-n", "x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Unsupported :(\n");
  Strings groups;
  for (const std::string& line : sim.requests())
    if (size_t at = line.find("\"Group\":"); at != std::string::npos)
      groups.push_back(line.substr(at + 8, line.find_first_of(",}", at) - at - 8));
  EXPECT_EQ(groups, (Strings{"4", "7", "9"}));
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
      {R"({"jsonrpc":"2.0","id":5,"method":"GetParameterValues","params":{"ParameterNames":["Device.Time.Enable"]}})",
       0, reply + "5,\n    \"result\": {"},
      {R"({"jsonrpc":"2.0","id":6,"method":"GetParameterValues","params":{"ParameterNames":["Device.Nope."]}})",
       9005 & 255, reply + "6,\n    \"error\": {\n        \"code\": 9005,"},
      {"not json", 255, "Invalid raw JSON message.\n"},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, {"--raw", c.message, "ignored"});
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_EQ(r.out.rfind(c.out_begins, 0), 0u) << c.message << "\n" << r.out;
  }
}

// The listener prints the events of its group as they come (into a file: flushed each time)
// until stopped: Ctrl-C ends it with 130, SIGTERM with 0; it ends by itself with 0 when the
// daemon goes. -l takes no argument: the -g after it is read.
TEST(ListenMode, RelaysTheGroupsEventsUntilStopped) {
  Emulator sim;
  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 0}, std::pair{0, 0}}) {
    sim.clear_requests();
    std::string out_file = sim.dir().file("listener.out" + std::to_string(signal));
    pid_t listener = e2e::start_velc(sim, {"-l", "-g", "7"}, out_file);
    ASSERT_TRUE(e2e::eventually([&] { return e2e::read_file(sim.dir().file("requests.log")).find("\"Group\":7") != std::string::npos; }));
    std::string expected = "Connection dropped\n";
    if (signal != 0) {
      EXPECT_EQ(e2e::velc(sim, {"-e", "8", R"({"text":"not for you"})"}).status, 0);
      EXPECT_EQ(e2e::velc(sim, {"-e", "7", R"({"text":"hello"})"}).status, 0);
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

// Events printed to a pipe by the shell whose input and output are pipes arrive whole, in
// order, while it still runs.
TEST(EventsToAPipe, ArriveWholeAndInOrderWhileTheShellRuns) {
  Emulator sim;
  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  pid_t velc = fork();
  if (velc == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    const std::string program = e2e::bin_dir() + "/velc";
    execl(program.c_str(), program.c_str(), "-u", sim.socket().c_str(), "-g", "7", nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  std::string got;
  auto read_until = [&](const std::string& wanted) {
    for (int i = 0; i < 300 && got.find(wanted) == std::string::npos; ++i) {
      pollfd p{out[0], POLLIN, 0};
      char buf[4096];
      ssize_t n = poll(&p, 1, 100) > 0 ? read(out[0], buf, sizeof buf) : 0;
      if (n < 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got.find(wanted) != std::string::npos;
  };
  ASSERT_TRUE(read_until("velc:> ")) << got;  // past start-up: the group is joined
  std::string expected = "velc:> ";
  for (const char* text : {"one", "two"}) {  // each is flushed as it comes
    EXPECT_EQ(e2e::velc(sim, {"-e", "7", std::string(R"({"text":")") + text + "\"}"}).status, 0);
    expected += "\nEVENT 7:\n{\n    \"text\": \"" + std::string(text) + "\"\n}\nvelc:> ";
    EXPECT_TRUE(read_until(expected)) << got;
  }
  EXPECT_EQ(waitpid(velc, nullptr, WNOHANG), 0) << "velc ended before its events were read";
  close(in[1]);  // the shell ends at the end of its input
  EXPECT_EQ(e2e::wait_exit_status(velc), 0);
  close(out[0]);
}

}  // namespace
