// The flashing progress: which mark each step prints, and where the display stops.
#include "transfer/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "datamodel/test_support.h"
#include "platform/exit_request.h"
#include "platform/test_peer.h"

namespace {

constexpr const char* kPoll =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.UpgradeProgress",)"
    R"("Device.DeviceInfo.UpgradeStatus"]})";

TEST(Progress, MarksUntilVeldStopsAnsweringOrFails) {
  using Steps = std::vector<std::pair<int, int>>;  // progress, status
  const struct {
    Steps polls;  // the answers; the poll after them fails
    const char* marks;
    size_t polls_sent;
  } cases[] = {
      {{}, "", 1},
      // 9 -> 10 a new ten: "@"; 10 -> 12: "*"; 10 -> 11 nothing (same progress/2).
      {{{0, 1}, {9, 1}, {10, 1}, {12, 2}, {11, 2}, {20, 2}, {100, 3}}, "*@**@@", 8},
      {{{1, 1}, {2, 1}, {3, 1}, {4, 1}}, "**", 5},
      {{{10, 1}, {11, 1}, {98, 1}, {100, 2}}, "@@@", 5},
      // A failure ends it at once; the answers after it are never asked for.
      {{{30, 1}, {40, -1}, {60, 2}}, "@", 2},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    std::vector<std::string> replies;
    for (auto [percent, status] : c.polls)
      replies.push_back(R"({"ParameterList":[)"
                        R"({"Name":"Device.DeviceInfo.UpgradeProgress","Value":)" +
                        std::to_string(percent) +
                        R"(},{"Name":"Device.DeviceInfo.UpgradeStatus","Value":)" +
                        std::to_string(status) + "}]}");
    daemon.reply_sequence(kPoll, replies);
    testing_support::TestClient t;
    t.session.requests.set_destination(daemon.path());
    k::Message download = k::msg_create("Download", k::Json());
    download.kind = k::kMsgResult;
    int status = -1;
    std::string printed = output_of([&] {
      try {
        progress_display(t.client, download, 0);
      } catch (const k::ExitRequest& e) {
        status = e.status;
      }
    });
    EXPECT_EQ(printed, std::string("Flashing: ") + c.marks + "\nStatus: OK\n") << c.marks;
    EXPECT_EQ(status, 0) << c.marks;
    EXPECT_EQ(daemon.take_requests(), std::vector<std::string>(c.polls_sent, kPoll)) << c.marks;
  }
}

}  // namespace
