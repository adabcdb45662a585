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

constexpr const char* kPoll =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.UpgradeProgress",)"
    R"("Device.DeviceInfo.UpgradeStatus"]})";
constexpr const char* kVersion =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]})";

// The display after a download of version 5.0.0, with no pause, against a device that answers
// the polls with `polls` (progress, status) and then goes away, unless one failed; back, it runs
// `came_back` ("" none: it does not answer for its version).
TEST(Progress, MarksAndEachEnd) {
  const struct {
    std::vector<std::pair<int, int>> polls;
    const char* came_back;
    std::string printed;  // after "Flashing: "
    int status;           // the status it ends the client with
  } cases[] = {
      // 9 -> 10 a new ten: "@"; 10 -> 12: "*"; 10 -> 11 nothing (same progress/2).
      {{{0, 1}, {9, 1}, {10, 1}, {12, 2}, {11, 2}, {20, 2}, {100, 3}}, "5.0.0", "*@**@@\nStatus: OK\n", 0},
      // The device restarted but not into the new image; a failure ends it at once, the
      // answers after it are never asked.
      {{{10, 2}, {100, 3}}, "4.2.1", "@@\nUpgrade failed: the device came back running 4.2.1, not 5.0.0.\n", -1},
      {{{10, 2}, {40, -1}, {60, 2}}, "", "@\nUpgrade failed: UpgradeStatus -1.\n", -1},
      {{{10, 2}}, "",
       "@\nUpgrade not confirmed: the device answers again but its version cannot be read.\n"
       "[9005] Invalid parameter name\n", -1},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    Strings replies, sent;
    bool fails = false;
    for (size_t i = 0; i < c.polls.size() && !fails; ++i) {
      auto [percent, status] = c.polls[i];
      replies.push_back(R"({"ParameterList":[{"Name":"Device.DeviceInfo.UpgradeProgress","Value":)" +
                        std::to_string(percent) + R"(},{"Name":"Device.DeviceInfo.UpgradeStatus","Value":)" +
                        std::to_string(status) + "}]}");
      fails = status < 0;
    }
    sent.assign(replies.size() + (fails ? 0 : 2), kPoll);  // the one it went away on, the one back
    if (!fails) replies.push_back(k::test::ScriptedDaemon::kGoAway), sent.push_back(kVersion);
    daemon.reply_sequence(kPoll, replies);
    if (*c.came_back)
      daemon.reply(kVersion, R"({"ParameterList":[{"Name":"Device.DeviceInfo.SoftwareVersion","Value":")" +
                                 std::string(c.came_back) + "\"}]}");
    testing_support::TestClient t;
    t.client.out = t.stream.file;
    t.session.requests.set_destination(daemon.path());
    t.session.requests.connect();  // the dialogue's connection
    k::Message download = k::msg_create("Download", k::Json());
    download.kind = k::kMsgResult;
    download.result = k::Json::take(json_pack("{s:s}", "NewVersion", "5.0.0"));
    int status = 1;
    try {
      progress_display(t.client, download, {.pause_us = 0, .comeback_wait_ms = 60000});
    } catch (const k::ExitRequest& e) {
      status = e.status;
    }
    EXPECT_EQ(status, c.status) << c.printed;
    EXPECT_EQ(t.text(), "Flashing: " + c.printed);
    EXPECT_EQ(daemon.take_requests(), sent) << c.printed;
  }
}

}  // namespace
