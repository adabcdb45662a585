// The command line, start-up and the one-shot modes, end to end against veld-sim.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "harness/certs.h"
#include "harness/process.h"
#include "platform/json.h"

namespace {

using e2e::Emulator;

std::string velc_bin() { return e2e::bin_dir() + "/velc"; }

TEST(Startup, HelpAndVersionNeedNoDaemon) {
  e2e::Run help = e2e::run(velc_bin(), {"-h", "-u", "/nonexistent"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Norlan Management System client.\nUsage: velc [options]\n", 0), 0u);
  EXPECT_NE(help.out.find("\t-v, --version                       Display velc version.\n"),
            std::string::npos);
  EXPECT_EQ(help.err, "");

  e2e::Run version = e2e::run(velc_bin(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("Norlan Management System client.\nvelc version 0.2.1\n", 0), 0u);

  e2e::Run bad = e2e::run(velc_bin(), {"--bogus"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("Usage: velc [options]"), std::string::npos);

  e2e::Run conflict = e2e::run(velc_bin(), {"-l", "-r", "cat"});
  EXPECT_EQ(conflict.status, 1);
  EXPECT_EQ(conflict.err, "Cannot execute 'request' and 'listen' modes simultaneously.\n");
}

// A run that cannot connect or log in ends with status 1 before the mode runs; the line of the
// connection error stays on standard output, and standard error says why, or where velc tried.
TEST(Startup, EachFailureToConnectOrLogInSaysWhy) {
  e2e::Certs certs;
  k::test::TempDir dir;
  const std::string accounts = e2e::source_dir() + "/models/home-router.json";
  const struct {
    const char* name;
    std::vector<std::string> sim;   // veld-sim's options
    std::vector<std::string> args;  // "TLS" stands for the emulator's TLS listener
    std::string out;
    std::string err;
    std::vector<std::string> sent;
  } cases[] = {
      {"wrong password", {"--access", accounts}, {"-a", "admin:wrong"}, "",
       "velc: cannot log in as admin: wrong user name or password\n",
       {"Login", "Authenticate", "Logout"}},
      // A text without a colon may be a token: it is not repeated.
      {"refused token", {"--access", accounts}, {"-a", "no-such-token"}, "",
       "velc: cannot log in: refused as a user without a password and as a token\n",
       {"Login", "Authenticate", "Logout"}},
      // Waits 5 s once, not again as a token and for a logout.
      {"no answer in time", {"--delay", "6000"}, {"-a", "admin:admin"}, "",
       "velc: cannot log in as admin: veld did not answer within 5 s\n", {"Login"}},
      {"plain TCP to a TLS port", certs.server_options(), {"-u", "TLS", "-a", "admin:admin"}, "",
       "velc: cannot log in as admin: the connection was closed during login; is it a TLS port? "
       "(use --ssl)\n",
       {}},
      {"no socket", {}, {"-u", dir.file("none.sock")},
       "Cannot connect to veld(requests) - No such socket(-3)\n",
       "velc: tried unix socket " + dir.file("none.sock") + "\n", {}},
  };
  for (const auto& c : cases) {
    Emulator sim(c.sim);
    std::vector<std::string> args = c.args;
    for (std::string& a : args)
      if (a == "TLS") a = sim.tcp();
    args.insert(args.end(), {"-r", "cat", "Device.DeviceInfo.ModelName"});
    e2e::Run r = e2e::velc(sim, args);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    std::vector<std::string> methods;
    for (const auto& line : sim.requests()) {
      std::string method = k::json_text(k::json_parse(line).get(), "method");
      if (method != "JoinGroup") methods.push_back(method);
    }
    EXPECT_EQ(methods, c.sent) << c.name;
  }
}

TEST(Startup, NotifyModeIsUnsupported) {
  Emulator sim;
  e2e::Run r = e2e::velc(sim, {"-n", "anything"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Unsupported :(\n");
}

TEST(Startup, GroupsAreJoinedInOrder) {
  Emulator sim;
  e2e::Run r = e2e::velc(sim, {"-g", "7,9", "-n", "x"});
  EXPECT_EQ(r.status, 0);
  std::vector<int> joined;
  for (const auto& line : sim.requests()) {
    k::Json j = k::json_parse(line);
    json_t* params = json_object_get(j.get(), "params");
    if (k::json_text(j.get(), "method") != "JoinGroup") continue;
    joined.push_back(static_cast<int>(json_integer_value(json_object_get(params, "Group"))));
  }
  EXPECT_EQ(joined, (std::vector<int>{4, 7, 9}));
}

TEST(RawMode, RequestsRepliesAndStatuses) {
  Emulator sim;
  struct Case {
    std::string message;
    int status;
    std::string out_begins;
  };
  const Case cases[] = {
      {R"({"jsonrpc":"2.0","id":5,"method":"GetParameterValues","params":{"ParameterNames":["Device.DeviceInfo.Manufacturer"]}})",
       0, "<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": 5,\n    \"result\": {"},
      {R"({"jsonrpc":"2.0","id":6,"method":"GetParameterValues","params":{"ParameterNames":["Device.Nope."]}})",
       9005 & 255, "<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": 6,\n    \"error\": {\n        \"code\": 9005,"},
      {R"({"jsonrpc":"2.0","id":7,"method":"NoSuchMethod"})", (-32601) & 255,
       "<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": 7,\n    \"error\": {\n        \"code\": -32601,"},
      {"not json", 255, "Invalid raw JSON message.\n"},
      {R"({"hello":1})", 255, "Incorrect message.\n"},
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":12}})", 0, ""},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, {"--raw", c.message, "ignored", "words"});
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_EQ(r.out.rfind(c.out_begins, 0), 0u) << c.message << "\n" << r.out;
  }
}

TEST(RawMode, NoReplyInTimePrintsTheTimeOutAsTheError) {
  Emulator sim({"--delay", "3000"});
  e2e::Run r = e2e::velc(sim, {"-t", "1", "--raw", R"({"jsonrpc":"2.0","id":1,"method":"X"})"});
  EXPECT_NE(r.out.find("\"code\": -13,\n        \"message\": \"Timed out\""), std::string::npos)
      << r.out;
  EXPECT_EQ(r.status, -13 & 255);
}

// The exit status of a process that should end by itself; one that is still running after
// `seconds` is killed (the status is then -1).
int exit_status_within_seconds(pid_t pid, int seconds) {
  for (int i = 0; i < seconds * 50; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usleep(20000);
  }
  kill(pid, SIGKILL);
  e2e::wait_exit_status(pid);
  return -1;
}

// The listener joins group 7 and prints what arrives until it is stopped: Ctrl-C ends it as it
// ends every other mode, SIGTERM with status 0.
TEST(EventMode, RelayedToAListenerOfTheGroup) {
  Emulator sim;
  k::test::TempDir dir;
  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 0}}) {
    sim.clear_requests();
    std::string out_file = dir.file("listener.out" + std::to_string(signal));
    pid_t listener = e2e::start_velc(sim, {"-g", "7", "-l"}, out_file);
    // Wait until the listener has joined group 7 (its join is in the request log).
    auto joined = [&] {
      for (const auto& line : sim.requests())
        if (line.find("\"Group\":7") != std::string::npos) return true;
      return false;
    };
    for (int i = 0; i < 300 && !joined(); ++i) usleep(20000);
    ASSERT_TRUE(joined());

    e2e::Run sent = e2e::velc(sim, {"-e", "7", R"({"text":"hello"})"});
    EXPECT_EQ(sent.status, 0);
    e2e::Run other = e2e::velc(sim, {"-e", "8", R"({"text":"not for you"})"});
    EXPECT_EQ(other.status, 0);

    std::string expected = "\nEVENT 7:\n{\n    \"text\": \"hello\"\n}\n";
    for (int i = 0; i < 300 && e2e::read_file(out_file) != expected; ++i) usleep(20000);
    kill(listener, signal);
    EXPECT_EQ(exit_status_within_seconds(listener, 30), status) << signal;
    EXPECT_EQ(e2e::read_file(out_file), expected);
  }
}

TEST(ListenMode, EndsWhenTheDaemonGoes) {
  Emulator sim;
  k::test::TempDir dir;
  std::string out_file = dir.file("listener.out");
  pid_t listener = e2e::start_velc(sim, {"-l"}, out_file);
  for (int i = 0; i < 300 && sim.requests().empty(); ++i) usleep(20000);
  sim.stop();
  EXPECT_EQ(e2e::wait_exit_status(listener), 0);
  EXPECT_EQ(e2e::read_file(out_file), "Connection dropped\n");
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
