// `upgrade` end to end in request mode against a scripted daemon: the flashing ends the client
// with status 0 after the dialogue when the device comes back with the new version, and with
// 255 when it comes back with another; a cancelled upgrade ends the command with its own status.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "harness/process.h"
#include "testing/temp_dir.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kPoll =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.UpgradeProgress",)"
    R"("Device.DeviceInfo.UpgradeStatus"]})";
constexpr const char* kVersion =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]})";

TEST(Upgrade, FlashingEndsTheClientWithItsOutcome) {
  k::test::TempDir home;
  std::string image = home.file("fw.img");
  std::ofstream(image) << "image";
  std::string url = "file://" + image;
  std::string md5 = R"("MD5":"78805a221a988e79ef3f42d7c5bfd418")";
  std::string pre = R"(Download {"FileType":"Firmware","URL":")" + url + "\"," + md5 +
                    R"(,"NeedPreUpdate":true})";
  std::string main = pre.substr(0, pre.size() - 5) + "false}";
  std::string confirm = R"(Download {"FileType":"Firmware","URL":"file:///data/fw",)" + md5 +
                        R"(,"NeedPreUpdate":false,"TransactionID":"t1"})";
  k::test::ScriptedDaemon daemon({
      {pre, "{}"},
      {main, R"({"Status":1,"CurrentVersion":"4.2.1","NewVersion":"5.0.0",)"
             R"("SavedFirmware":"/data/fw","TransactionID":"t1"})"},
      {confirm, "{}"},
      {R"(Download {"FileType":"Firmware","TransactionID":"t1"})", "{}"},
  });
  const struct {
    const char* answer;
    const char* came_back;  // the version the device runs after the flash
    int status;
    std::string out;
    Strings sent;
  } cases[] = {
      {"n\n", "5.0.0", 0,
       "Major upgrade...\nReset config[(N)o/(y)es/(c)ancel] Flashing: @\nStatus: OK\n",
       {pre, main, confirm, kPoll, kPoll, kPoll, kVersion}},
      {"n\n", "4.2.1", 255,
       "Major upgrade...\nReset config[(N)o/(y)es/(c)ancel] Flashing: @\n"
       "Upgrade failed: the device came back running 4.2.1, not 5.0.0.\n",
       {pre, main, confirm, kPoll, kPoll, kPoll, kVersion}},
      {"c\n", "", 0, "Major upgrade...\nReset config[(N)o/(y)es/(c)ancel] ",
       {pre, main, R"(Download {"FileType":"Firmware","TransactionID":"t1"})"}},
  };
  for (const auto& c : cases) {
    // One poll at 100 %, then the device goes away to restart; the next poll finds it back.
    daemon.reply_sequence(
        kPoll, {R"({"ParameterList":[{"Name":"Device.DeviceInfo.UpgradeProgress","Value":100},)"
                R"({"Name":"Device.DeviceInfo.UpgradeStatus","Value":3}]})",
                k::test::ScriptedDaemon::kGoAway});
    daemon.reply(kVersion, R"({"ParameterList":[{"Name":"Device.DeviceInfo.SoftwareVersion",)"
                           R"("Value":")" + std::string(c.came_back) + "\"}]}");
    e2e::Run r = e2e::run(e2e::bin_dir() + "/velc", {"-u", daemon.path(), "-r", "upgrade", image},
                          c.answer, {"HOME=" + home.path()});
    EXPECT_EQ(r.status, c.status) << c.answer;
    EXPECT_EQ(r.out, c.out) << c.answer;
    Strings sent;
    for (const std::string& s : daemon.take_requests())
      if (s.rfind("JoinGroup", 0) != 0) sent.push_back(s);  // start-up's own
    EXPECT_EQ(sent, c.sent) << c.answer;
  }
}

}  // namespace
