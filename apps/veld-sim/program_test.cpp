// The veld-sim program itself: command line, readiness line, signals. Runs the built binary from
// $VELC_BIN and is skipped without it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_client.h"

extern char** environ;

namespace sim {
namespace {

// A started veld-sim with its stdout and stderr on pipes.
struct Child {
  pid_t pid = -1;
  k::Fd out;
  k::Fd err;
};

std::string program() {
  const char* bin = std::getenv("VELC_BIN");
  return bin ? std::string(bin) + "/veld-sim" : std::string();
}

Child start(const std::vector<std::string>& args) {
  int out[2], err[2];
  Child c;
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return c;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::string prog = program();
  std::vector<char*> argv{prog.data()};
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&c.pid, prog.c_str(), &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  c.out = k::Fd(out[0]);
  c.err = k::Fd(err[0]);
  return c;
}

// Everything a pipe gives until its writer closes it (or, with `stop_at_newline`, the first
// line).
std::string read_all(int fd, bool stop_at_newline = false) {
  std::string s;
  char buf[4096];
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, test::kGiveUpMs) <= 0) break;
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    s.append(buf, static_cast<size_t>(n));
    if (stop_at_newline && s.find('\n') != std::string::npos) break;
  }
  return s;
}

int wait_exit(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (program().empty() || !std::filesystem::exists(program()))
      GTEST_SKIP() << "VELC_BIN does not hold veld-sim";
  }
};

TEST_F(Program, HelpDescribesEveryOptionAndExitsZero) {
  Child c = start({"--help"});
  std::string text = read_all(c.out.get());
  EXPECT_EQ(wait_exit(c.pid), 0);
  for (const char* option : {"--socket", "--model", "--hosts", "--delay", "--request-log"})
    EXPECT_NE(text.find(option), std::string::npos) << option;
}

TEST_F(Program, BadCommandLinesExitTwoWithUsage) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"--socket"}, {"--socket", "/tmp/x", "--frobnicate"},
        {"--socket", "/tmp/x", "--delay", "soon"}}) {
    Child c = start(args);
    std::string err = read_all(c.err.get());
    EXPECT_EQ(wait_exit(c.pid), 2);
    EXPECT_NE(err.find("Usage: veld-sim"), std::string::npos) << err;
  }
}

TEST_F(Program, AMissingModelFailsWithItsName) {
  test::TempDir dir;
  Child c = start({"--socket", dir.path() + "/s", "--model", dir.path() + "/none.json"});
  std::string err = read_all(c.err.get());
  EXPECT_EQ(wait_exit(c.pid), 1);
  EXPECT_NE(err.find("none.json"), std::string::npos) << err;
}

TEST_F(Program, AnnouncesReadinessServesAndCleansUpOnSignals) {
  for (int sig : {SIGTERM, SIGINT}) {
    test::TempDir dir;
    std::string socket = dir.path() + "/veld.sock";
    Child c = start({"--socket", socket, "--hosts", "3"});
    EXPECT_EQ(read_all(c.out.get(), true), "veld-sim: ready on " + socket + "\n");
    test::TestClient client(socket);
    client.request(
        R"({"jsonrpc":"2.0","id":1,"method":"GetParameterValues","params":{"ParameterNames":["Device.Hosts.HostNumberOfEntries"]}})");
    k::Json reply = client.message();
    json_t* entry = json_array_get(test::member(reply, "result.ParameterList"), 0);
    EXPECT_EQ(json_integer_value(json_object_get(entry, "Value")), 3);
    ::kill(c.pid, sig);
    EXPECT_EQ(wait_exit(c.pid), 0);
    EXPECT_FALSE(std::filesystem::exists(socket));
  }
}

}  // namespace
}  // namespace sim
