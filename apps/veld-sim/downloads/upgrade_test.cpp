// The firmware dialogue on its own, on a clock the test moves.
#include "downloads/upgrade.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "downloads/firmware_image.h"
#include "engine/test_model.h"
#include "platform/temp_dir.h"

namespace sim {
namespace {

using Clock = Upgrade::Clock;
using std::chrono::milliseconds;

const char* kState[] = {"Device.DeviceInfo.SoftwareVersion", "Device.DeviceInfo.UpgradeStatus",
                        "Device.DeviceInfo.UpgradeProgress"};

std::string state(Engine& engine) { return test::values(engine, {std::begin(kState), std::end(kState)}); }

std::string state_text(const char* version, int status, int progress) {
  return std::string("Device.DeviceInfo.SoftwareVersion=\"") + version +
         "\" Device.DeviceInfo.UpgradeStatus=" + std::to_string(status) +
         " Device.DeviceInfo.UpgradeProgress=" + std::to_string(progress);
}

// An engine on the download model with an upgrade whose images go to a temporary folder.
struct Device {
  explicit Device(int flash_ms, std::string state_dir = {})
      : engine(test::device_with_mode(std::move(state_dir))), upgrade(engine, flash_ms) {
    std::string error;
    if (!engine.boot(error)) throw std::runtime_error(error);
  }
  // Downloads an image of `version`; returns the reply.
  Reply download(const char* version) {
    std::string image = make_firmware_image(version, "payload");
    FirmwareHeader header;
    std::string error;
    EXPECT_TRUE(parse_firmware_header(image, header, error));
    return upgrade.downloaded(images.path(), image, header, "", t0);
  }
  k::test::TempDir images;
  Engine engine;
  Upgrade upgrade;
  Clock::time_point t0 = Clock::now();
};

std::string result(const Reply& r) {
  return r.ok() ? k::json_dump(r.result.get(), JSON_COMPACT) : test::brief(r) + " " + r.fault.detail;
}

TEST(Upgrade, TheFlashMovesTheProgressThenInstallsAndAsksForAReboot) {
  k::test::TempDir state_dir;
  Device d(1000, state_dir.path());
  Reply r = d.download("2.0.0");
  std::string saved = k::json_text(r.result.get(), "SavedFirmware");
  EXPECT_EQ(result(r), R"({"Status":1,"CurrentVersion":"1.0.0","NewVersion":"2.0.0","SavedFirmware":")" +
                           saved + R"(","TransactionID":1})");
  EXPECT_TRUE(std::filesystem::exists(saved));
  k::Json tid = k::Json::take(json_integer(1));
  EXPECT_EQ(result(d.upgrade.confirm(tid.get(), "file://" + saved, d.t0)), R"({"Status":0})");
  EXPECT_TRUE(d.upgrade.flashing());
  const struct {
    int at_ms, status, progress;
  } steps[] = {{0, 2, 0}, {499, 2, 49}, {990, 2, 99}, {1000, 3, 100}};
  for (const auto& s : steps) {
    d.upgrade.advance(d.t0 + milliseconds(s.at_ms));
    EXPECT_EQ(state(d.engine), state_text("1.0.0", s.status, s.progress)) << s.at_ms;
    EXPECT_EQ(d.engine.take_reboot().has_value(), s.status == 3) << s.at_ms;
  }
  EXPECT_FALSE(d.upgrade.flashing());
  EXPECT_FALSE(std::filesystem::exists(saved));
  // A later boot comes up in the new version, idle (it is kept in the state).
  std::string error;
  Engine again(test::device_with_mode(state_dir.path()));
  ASSERT_TRUE(again.boot(error)) << error;
  EXPECT_EQ(state(again), state_text("2.0.0", 0, 0));
  // A factory reset keeps the firmware.
  ASSERT_TRUE(again.factory_reset(test::full_rights(), std::nullopt).ok());
  EXPECT_EQ(state(again), state_text("2.0.0", 0, 0));
}

TEST(Upgrade, ACancelledImageIsGoneAndTheSameVersionFlashesAtOnce) {
  Device d(1000);
  std::string saved = k::json_text(d.download("1.1.0").result.get(), "SavedFirmware");
  k::Json tid = k::Json::take(json_integer(1));
  EXPECT_EQ(result(d.upgrade.cancel(tid.get())), R"({"Status":0})");
  EXPECT_FALSE(std::filesystem::exists(saved));
  EXPECT_EQ(result(d.download("1.0.0")).rfind(R"({"Status":0,)", 0), 0u);
  EXPECT_TRUE(d.upgrade.flashing());
}

TEST(Upgrade, ConfirmationsThatDoNotMatch) {
  Device d(1000);
  Reply r = d.download("3.0.0");
  std::string saved = k::json_text(r.result.get(), "SavedFirmware");
  k::Json other = k::Json::take(json_integer(2)), text = k::json_str("1");
  EXPECT_EQ(result(d.upgrade.confirm(other.get(), "file://" + saved, d.t0)),
            "9007 TransactionID 2: no firmware image awaits it");
  EXPECT_EQ(result(d.upgrade.cancel(text.get())), "9007 TransactionID \"1\": no firmware image awaits it");
  k::Json tid = k::Json::take(json_integer(1));
  EXPECT_EQ(result(d.upgrade.confirm(tid.get(), "file:///tmp/other.img", d.t0)),
            "9007 URL \"file:///tmp/other.img\": the transaction's image is file://" + saved);
  // A newer download takes the place of the waiting one.
  Reply newer = d.download("3.0.1");
  EXPECT_FALSE(std::filesystem::exists(saved));
  EXPECT_EQ(result(d.upgrade.confirm(tid.get(), "file://" + saved, d.t0)),
            "9007 TransactionID 1: no firmware image awaits it");
  k::Json tid2 = k::Json::take(json_integer(2));
  EXPECT_TRUE(d.upgrade.confirm(tid2.get(), "file://" + k::json_text(newer.result.get(), "SavedFirmware"), d.t0).ok());
}

// An image with one byte changed at `at`.
std::string flipped(std::string image, size_t at) {
  image[at] = static_cast<char>(image[at] ^ 0x55);
  return image;
}

TEST(FirmwareImage, HeaderAndPayloadChecks) {
  const std::string good = make_firmware_image("5.0.1-rc2", std::string(1000, 'p'));
  const size_t payload_at = kFirmwareHeaderSize + 9;
  const struct {
    const char* name;
    std::string image;
    const char* header_error;   // "" when the header reads
    const char* payload_error;  // "" when the payload checks out
  } cases[] = {
      {"good", good, "", ""},
      {"bad magic", flipped(good, 0), "not a firmware image (bad magic)", ""},
      {"truncated header", good.substr(0, 20), "truncated firmware header", ""},
      {"unknown format", flipped(good, 5), "firmware image format 84 is not supported", ""},
      {"bad version text", std::string(good).replace(kFirmwareHeaderSize, 1, "x"),
       "bad firmware version text (expects MAJOR.MINOR.BUILD[-SUFFIX])", ""},
      {"changed payload", flipped(good, payload_at + 500), "", "firmware checksum mismatch"},
      {"truncated payload", good.substr(0, good.size() - 1), "",
       "the payload has 999 bytes, the header says 1000"},
      {"trailing bytes", good + "x", "", "the payload has 1001 bytes, the header says 1000"},
  };
  for (const auto& c : cases) {
    FirmwareHeader header;
    std::string error;
    bool read = parse_firmware_header(c.image, header, error);
    EXPECT_EQ(read ? "" : error, c.header_error) << c.name;
    if (!read) continue;
    EXPECT_EQ(header.payload_offset, kFirmwareHeaderSize + header.version.size()) << c.name;
    error.clear();
    EXPECT_EQ(verify_firmware_payload(c.image, header, error) ? "" : error, c.payload_error)
        << c.name;
  }
}

}  // namespace
}  // namespace sim
