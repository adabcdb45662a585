// The flashing progress: which mark each step prints, and how each way the upgrade ends ends
// the client.
#include "transfer/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/test_peer.h"
#include "transfer/exit_request.h"

namespace {

using Strings = std::vector<std::string>;
using k::test::ScriptedDaemon;

constexpr const char* kPoll =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.UpgradeProgress",)"
    R"("Device.DeviceInfo.UpgradeStatus"]})";
constexpr const char* kVersion =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]})";
constexpr const char* kUnknown = "[9005] Invalid parameter name\n";

std::string poll_reply(int percent, int status) {
  return R"({"ParameterList":[{"Name":"Device.DeviceInfo.UpgradeProgress","Value":)" +
         std::to_string(percent) + R"(},{"Name":"Device.DeviceInfo.UpgradeStatus","Value":)" +
         std::to_string(status) + "}]}";
}

std::string version_reply(const std::string& version) {
  return R"({"ParameterList":[{"Name":"Device.DeviceInfo.SoftwareVersion","Value":")" + version +
         "\"}]}";
}

// Runs the display after a download of version 5.0.0 on a client connected to `daemon` (or to
// nobody), with no pause and `comeback_ms` of patience. The status it ends the client with.
int display(testing_support::TestClient& t, std::string& printed, int comeback_ms = 60000) {
  k::Message download = k::msg_create("Download", k::Json());
  download.kind = k::kMsgResult;
  download.result = k::Json::take(json_pack("{s:s}", "NewVersion", "5.0.0"));
  int status = 1;
  printed = output_of([&] {
    try {
      progress_display(t.client, download, {.pause_us = 0, .comeback_wait_ms = comeback_ms});
    } catch (const k::ExitRequest& e) {
      status = e.status;
    }
  });
  return status;
}

TEST(Progress, MarksAndEachEnd) {
  using Steps = std::vector<std::pair<int, int>>;  // progress, status
  const std::string away = ScriptedDaemon::kGoAway;
  const struct {
    Steps polls;            // the answers; then the device goes away, unless one failed
    const char* came_back;  // the version it then runs ("" none: it does not answer for it)
    std::string printed;    // after "Flashing: "
    int status;
  } cases[] = {
      // 9 -> 10 a new ten: "@"; 10 -> 12: "*"; 10 -> 11 nothing (same progress/2).
      {{{0, 1}, {9, 1}, {10, 1}, {12, 2}, {11, 2}, {20, 2}, {100, 3}}, "5.0.0",
       "*@**@@\nStatus: OK\n", 0},
      // The device restarted but not into the new image; a failure ends it at once, the
      // answers after it are never asked.
      {{{10, 2}, {100, 3}}, "4.2.1",
       "@@\nUpgrade failed: the device came back running 4.2.1, not 5.0.0.\n", -1},
      {{{10, 2}, {40, -1}, {60, 2}}, "",
       "@\nUpgrade failed: UpgradeStatus -1.\n", -1},
      {{{10, 2}}, "",
       "@\nUpgrade not confirmed: the device answers again but its version cannot be read.\n" +
           std::string(kUnknown),
       -1},
  };
  for (const auto& c : cases) {
    ScriptedDaemon daemon;
    Strings replies;
    bool fails = false;
    for (auto [percent, status] : c.polls) {
      replies.push_back(poll_reply(percent, status));
      fails = status < 0;
      if (fails) break;
    }
    size_t polls = replies.size() + (fails ? 0 : 2);  // the one it went away on, the one back
    if (!fails) replies.push_back(away);
    daemon.reply_sequence(kPoll, replies);
    if (*c.came_back) daemon.reply(kVersion, version_reply(c.came_back));
    testing_support::TestClient t;
    t.session.requests.set_destination(daemon.path());
    t.session.requests.connect();  // the dialogue's connection
    std::string printed;
    EXPECT_EQ(display(t, printed), c.status) << c.printed;
    EXPECT_EQ(printed, "Flashing: " + c.printed);
    Strings sent(polls, kPoll);
    if (!fails) sent.push_back(kVersion);
    EXPECT_EQ(daemon.take_requests(), sent) << c.printed;
  }
}

}  // namespace
