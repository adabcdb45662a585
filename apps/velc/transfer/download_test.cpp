// `download firmware` against a scripted daemon on a UNIX socket: the firmware dialogue's
// messages, questions and requests, and how the client ends (the other forms, and the whole
// upgrade against veld-sim, are seen end to end).
#include "transfer/download.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/stdin_feed.h"
#include "testing/stdout_capture.h"
#include "testing/test_peer.h"
#include "transfer/exit_request.h"
#include "transfer/md5.h"

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kPoll =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.UpgradeProgress",)"
    R"("Device.DeviceInfo.UpgradeStatus"]})";
constexpr const char* kVersion =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]})";
constexpr const char* kAsk = "Major upgrade...\nReset config[(N)o/(y)es/(c)ancel] ";
constexpr const char* kReset = "Resetting config...\nStatus: OK\n";
// One poll at 60 %, then the device goes away and comes back with the new version: one "@",
// the full bar, the download's outcome.
constexpr const char* kFlashed = "Flashing: @\nStatus: OK\n";

TEST(Firmware, EachVersionDifferenceAndAnswer) {
  k::test::TempDir dir;
  const std::string path = dir.file("fw.img");
  std::ofstream(path) << "firmware image";
  std::string md5;
  k::md5_file_region(path, 0, -1, md5);
  auto download = [&](const std::string& rest) {
    return R"(Download {"FileType":"Firmware","URL":"file://)" + path + R"(","MD5":")" + md5 +
           R"(","NeedPreUpdate":)" + rest + "}";
  };
  const std::string confirm = R"(Download {"FileType":"Firmware","URL":"file:///data/fw.saved","MD5":")" +
                              md5 + R"(","NeedPreUpdate":false,"TransactionID":7})",
                    cancel = R"(Download {"FileType":"Firmware","TransactionID":7})";
  // The polls: at 60 %, the one the device goes away on, the first one answered after it; then
  // the version it came back with is read.
  const Strings flash = {kPoll, kPoll, kPoll, kVersion}, confirmed = {confirm, kPoll, kPoll, kPoll, kVersion},
                reset = {"FactoryReset", confirm, kPoll, kPoll, kPoll, kVersion};
  const struct {
    const char* current;
    const char* input;  // the keyboard
    std::string printed;
    Strings after;  // the requests after the pre-update and the download
  } cases[] = {
      {"unknown", "", kReset, reset},
      {"5.0.0", "y\n", "", flash},  // the same version: straight to the progress
      // The question: only "c" cancels and only "y" resets.
      {"4.2.1", "c\n", kAsk, {cancel}},
      {"4.2.1", "y\n", std::string(kAsk) + kReset, reset},
      {"4.2.1", "yes\n", kAsk, confirmed},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    daemon.reply(download("true"), R"({"Status":0})");
    daemon.reply(download("false"), std::string(R"({"Status":1,"CurrentVersion":")") + c.current +
                                        R"(","NewVersion":"5.0.0","SavedFirmware":"/data/fw.saved","TransactionID":7})");
    for (const std::string& r : {confirm, cancel}) daemon.reply(r, "{}");
    daemon.reply("FactoryReset", R"({"Status":0})");
    daemon.reply_sequence(kPoll, {R"({"ParameterList":[{"Name":"Device.DeviceInfo.UpgradeProgress","Value":60},)"
                                  R"({"Name":"Device.DeviceInfo.UpgradeStatus","Value":2}]})",
                                  k::test::ScriptedDaemon::kGoAway});
    daemon.reply(kVersion, R"({"ParameterList":[{"Name":"Device.DeviceInfo.SoftwareVersion","Value":"5.0.0"}]})");
    testing_support::TestClient t;
    t.session.requests.set_destination(daemon.path());
    t.session.requests.connect();  // veld on this machine, as after start-up
    k::Json a = testing_support::args({"firmware", path.c_str()});
    StdinFeed keyboard(c.input);
    int status = -1;
    bool exited = false;  // flashing ends the client, with status 0
    // The reset question goes to the terminal, between the command's lines: both are read on
    // standard output so that their order is checked.
    std::string printed = output_of([&] {
      try {
        status = download_run(t.client, "download", a.get(), {.netcat_wait_ms = 1, .progress = {.pause_us = 0}});
      } catch (const k::ExitRequest& e) {
        exited = true;
        status = e.status;
      }
    });
    bool cancelled = c.after.size() == 1;
    std::string label = std::string(c.current) + " " + c.input;
    EXPECT_EQ(printed, c.printed + (cancelled ? "" : kFlashed)) << label;
    EXPECT_TRUE(exited == !cancelled && status == 0) << label;
    Strings sent = {download("true"), download("false")};
    sent.insert(sent.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(daemon.take_requests(), sent) << label;
  }
}

}  // namespace
