// debug: the modes, the password and what is sent (the hang-up of the parent process that an
// accepted change brings is seen end to end).
#include "device/debug.h"

#include <gtest/gtest.h>

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
  const std::string refused = "[9001] Request denied: wrong password\n";
  const std::string syntax = "syntax: change system debug mode: Disabled|Temporary|Permanent\n";
  const struct {
    std::vector<const char*> words;
    const char* typed;
    int status;
    std::string printed;
    Strings sent;
  } cases[] = {
      {{"permanent"}, "pw\n", 0, kPrompt + refused, {kPermanent}},
      {{"TEMPORARY"}, "", 0, kPrompt + refused, {kTemporary}},  // the end of input: no password
      {{"Disabled"}, "pw\n", 0, refused, {kDisabled}},  // nothing asked, nothing read
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

}  // namespace
