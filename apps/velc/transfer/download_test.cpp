// `download firmware` against a scripted daemon on a UNIX socket: the firmware dialogue's
// messages, questions and requests, and how the client ends (the other forms, and the whole
// upgrade against veld-sim, are seen end to end).
#include "transfer/download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/stdin_feed.h"
#include "testing/test_peer.h"
#include "transfer/exit_request.h"
#include "transfer/md5.h"

namespace {

using Strings = std::vector<std::string>;

constexpr TransferWaits kFast{.netcat_wait_ms = 1, .progress = {.pause_us = 0}};
constexpr const char* kOk = R"({"Status":0})";
constexpr const char* kPoll =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.UpgradeProgress",)"
    R"("Device.DeviceInfo.UpgradeStatus"]})";
constexpr const char* kVersion =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.SoftwareVersion"]})";
constexpr const char* kAsk = "Reset config[(N)o/(y)es/(c)ancel] ";
constexpr const char* kReset = "Resetting config...\nStatus: OK\n";
// One poll at 60 %, then the device goes away and comes back with the new version: one "@",
// the full bar, the download's outcome.
constexpr const char* kFlashed = "Flashing: @\nStatus: OK\n";

struct Outcome {
  int status = 0;
  bool exited = false;  // ended the client (k::ExitRequest) with `status`
  std::string printed;
  Strings sent;
};

// Runs a handler with `words` on a client connected to `daemon`, the keyboard giving `input`.
Outcome run(k::test::ScriptedDaemon& daemon, std::vector<const char*> words,
            const std::string& input = "") {
  testing_support::TestClient t;
  t.session.requests.set_destination(daemon.path());
  t.session.requests.connect();  // veld on this machine, as after start-up
  k::Json a = testing_support::args(words);
  Outcome o;
  StdinFeed keyboard(input);
  o.printed = output_of([&] {
    try {
      o.status = download_run(t.client, "download", a.get(), kFast);
    } catch (const k::ExitRequest& e) {
      o.exited = true;
      o.status = e.status;
    }
  });
  o.sent = daemon.take_requests();
  return o;
}

// A firmware image in the current folder (a temporary one), and the requests about it.
struct Image {
  k::test::TempDir dir;
  std::string url, md5;
  char* cwd = getcwd(nullptr, 0);

  Image() {
    EXPECT_EQ(chdir(dir.path().c_str()), 0);
    std::ofstream("fw.img") << "firmware image";
    char* real = realpath("fw.img", nullptr);
    url = std::string("file://") + real;
    std::free(real);
    k::md5_file_region("fw.img", 0, -1, md5);
  }
  ~Image() {
    EXPECT_EQ(chdir(cwd), 0);
    std::free(cwd);
  }
  std::string request(const char* type, const std::string& rest = "") const {
    return std::string(R"(Download {"FileType":")") + type + R"(","URL":")" + url +
           R"(","MD5":")" + md5 + "\"" + rest + "}";
  }
  std::string pre() const { return request("Firmware", R"(,"NeedPreUpdate":true)"); }
  std::string main() const { return request("Firmware", R"(,"NeedPreUpdate":false)"); }
  std::string confirm() const {
    return R"(Download {"FileType":"Firmware","URL":"file:///data/fw.saved","MD5":")" + md5 +
           R"(","NeedPreUpdate":false,"TransactionID":7})";
  }
  static std::string cancel() { return R"(Download {"FileType":"Firmware","TransactionID":7})"; }

  // A daemon that takes the image with the reply's versions, and comes back from
  // flashing it running `next`.
  void script(k::test::ScriptedDaemon& d, const char* current, const char* next) const {
    d.reply(pre(), kOk);
    d.reply(main(), std::string(R"({"Status":1,"CurrentVersion":")") +
                        current + R"(","NewVersion":")" + next +
                        R"(","SavedFirmware":"/data/fw.saved","TransactionID":7})");
    for (const std::string& r : {confirm(), cancel()}) d.reply(r, "{}");
    d.reply("FactoryReset", kOk);
    d.reply_sequence(kPoll, {R"({"ParameterList":[{"Name":"Device.DeviceInfo.UpgradeProgress",)"
                             R"("Value":60},)"
                             R"({"Name":"Device.DeviceInfo.UpgradeStatus","Value":2}]})",
                             k::test::ScriptedDaemon::kGoAway});
    d.reply(kVersion, R"({"ParameterList":[{"Name":"Device.DeviceInfo.SoftwareVersion",)"
                      R"("Value":")" + std::string(next) + "\"}]}");
  }
};

TEST(Firmware, EachVersionDifferenceAndAnswer) {
  Image image;
  // The polls: at 60 %, the one the device goes away on, the first one answered after it; then
  // the version it came back with is read.
  const Strings confirm = {image.confirm(), kPoll, kPoll, kPoll, kVersion};
  const Strings reset = {"FactoryReset", image.confirm(), kPoll, kPoll, kPoll, kVersion};
  const Strings flash = {kPoll, kPoll, kPoll, kVersion};
  const Strings cancel = {Image::cancel()};
  const std::string major = std::string("Major upgrade...\n") + kAsk;
  const struct {
    const char* current;
    const char* next;
    const char* input;  // the keyboard
    std::string printed;
    Strings after;  // the requests after the pre-update and the download
  } cases[] = {
      {"unknown", "4.2.1", "", kReset, reset},
      // The same version: straight to the progress.
      {"4.2.1", "4.2.1", "y\n", "", flash},
      // The question: only "c" cancels and only "y" resets.
      {"4.2.1", "5.0.0", "c\n", major, cancel},
      {"4.2.1", "5.0.0", "y\n", major + kReset, reset},
      {"4.2.1", "5.0.0", "yes\n", major, confirm},
  };
  for (const auto& c : cases) {
    k::test::ScriptedDaemon daemon;
    image.script(daemon, c.current, c.next);
    Outcome o = run(daemon, {"firmware", "fw.img"}, c.input);
    std::string label = std::string(c.current) + " -> " + c.next + " " + c.input;
    bool cancelled = c.after == cancel;
    EXPECT_EQ(o.printed, c.printed + (cancelled ? "" : kFlashed)) << label;
    EXPECT_TRUE(o.exited == !cancelled && o.status == 0) << label;  // flashing ends the client
    Strings sent = {image.pre(), image.main()};
    sent.insert(sent.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(o.sent, sent) << label;
  }
}

}  // namespace
