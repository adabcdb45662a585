// debug: the modes, the password, what is sent, and the hang-up of the parent process.
#include "device/debug.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/stdin_feed.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;
using testing_support::args;

std::string execute(const char* list) {
  return std::string(R"(Execute {"MethodName":"Device.System.Debug","ParameterList":)") + list +
         "}";
}
const std::string kDisabled = execute(R"([{"Name":"Mode","Value":"Disabled"}])");
const std::string kPermanent = execute(
    R"([{"Name":"Mode","Value":"Permanent"},{"Name":"UserPassword","Value":"pw"}])");
const std::string kTemporary = execute(
    R"([{"Name":"Mode","Value":"Temporary"},{"Name":"UserPassword","Value":""}])");
constexpr const char* kRefused =
    R"({"code":9001,"message":"Request denied","detail":"wrong password"})";
constexpr const char* kPrompt = "[velc] password for current user: \n";

// Refused requests only: an accepted one would hang up the test's parent (see below).
TEST(DebugCommand, ModesPasswordAndSyntax) {
  struct Case {
    std::vector<const char*> words;
    const char* typed;
    int status;
    std::string printed;
    Strings sent;
  };
  const std::string refused = "[9001] Request denied: wrong password\n";
  const std::string syntax = "syntax: change system debug mode: Disabled|Temporary|Permanent\n";
  const Case cases[] = {
      {{"permanent"}, "pw\n", 0, kPrompt + refused, {kPermanent}},
      {{"TEMPORARY"}, "", 0, kPrompt + refused, {kTemporary}},  // the end of input: no password
      {{"Disabled"}, "pw\n", 0, refused, {kDisabled}},  // nothing asked, nothing read
      {{}, "", -1, syntax, {}},
      {{"on"}, "", -1, syntax, {}},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    for (const auto& request : c.sent) daemon.reply(request, kRefused);
    testing_support::TestClient t;
    t.session.requests.set_destination(daemon.path());
    k::Json a = args(c.words);
    StdinFeed keyboard(c.typed);
    int status = 0;
    EXPECT_EQ(output_of([&] { status = cmd_debug(t.client, "debug", a.get()); }), c.printed)
        << c.typed;
    EXPECT_EQ(status, c.status) << c.typed;
    EXPECT_EQ(daemon.take_requests(), c.sent) << c.typed;
    if (c.words.size() == 1 && std::string(c.words[0]) == "Disabled") {
      EXPECT_EQ(keyboard.rest(), "pw\n");
    }
  }
}

// An accepted change hangs up the process that started velc. The handler runs in a grandchild of
// the test, whose parent (playing the login shell) holds SIGHUP back and reports whether it came;
// the test process itself is never signalled.
TEST(DebugCommand, AcceptedTellsTheUserAndHangsUpTheParentProcess) {
  struct Case {
    const char* reply;
    bool hung_up;
    const char* printed;
  };
  const Case cases[] = {
      {R"({"ParameterList":[]})", true,
       "Status: OK\nYou must log out and log back in for the changes to take effect.\n"},
      {kRefused, false, "[9001] Request denied: wrong password\n"},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon({{kDisabled, c.reply}});
    k::test::TempDir dir;
    std::string out_file = dir.file("out");
    pid_t middle = fork();
    ASSERT_GE(middle, 0);
    if (middle == 0) {
      sigset_t hangup;
      sigemptyset(&hangup);
      sigaddset(&hangup, SIGHUP);
      sigprocmask(SIG_BLOCK, &hangup, nullptr);
      pid_t velc = fork();
      if (velc == 0) {
        if (!std::freopen(out_file.c_str(), "w", stdout)) _exit(2);
        testing_support::TestClient t;
        t.session.requests.set_destination(daemon.path());
        k::Json a = args({"disabled"});
        int r = cmd_debug(t.client, "debug", a.get());
        std::fflush(stdout);
        _exit(r == 0 ? 0 : 2);
      }
      int status = 0;
      waitpid(velc, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) _exit(2);
      sigset_t pending;
      sigpending(&pending);
      _exit(sigismember(&pending, SIGHUP) ? 1 : 0);
    }
    int status = 0;
    waitpid(middle, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.hung_up ? 1 : 0) << c.printed;
    std::ifstream file(out_file);
    std::stringstream printed;
    printed << file.rdbuf();
    EXPECT_EQ(printed.str(), c.printed);
    EXPECT_EQ(daemon.take_requests(), Strings{kDisabled});
  }
}

}  // namespace
