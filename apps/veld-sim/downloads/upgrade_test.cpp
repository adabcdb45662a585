// The firmware dialogue on its own, on a clock the test moves; firmware images; the params and
// URLs of a Download request.
#include "downloads/upgrade.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "downloads/download_request.h"
#include "downloads/firmware_image.h"
#include "engine/test_model.h"
#include "testing/temp_dir.h"

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

// An engine on the test device with an upgrade whose images go to a temporary folder.
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
  // The reply's fields are read by velc's upgrade, run end to end.
  std::string saved = k::json_text(d.download("2.0.0").result.get(), "SavedFirmware");
  k::Json tid = k::Json::take(json_integer(1));
  EXPECT_EQ(result(d.upgrade.confirm(tid.get(), "file://" + saved, d.t0)), R"({"Status":0})");
  const struct {
    int at_ms, status, progress;
  } steps[] = {{0, 2, 0}, {499, 2, 49}, {990, 2, 99}, {1000, 3, 100}};
  for (const auto& s : steps) {
    d.upgrade.advance(d.t0 + milliseconds(s.at_ms));
    EXPECT_EQ(state(d.engine), state_text("1.0.0", s.status, s.progress)) << s.at_ms;
    EXPECT_EQ(d.engine.take_reboot().has_value(), s.status == 3) << s.at_ms;
  }
  EXPECT_TRUE(!d.upgrade.flashing() && !std::filesystem::exists(saved)) << "done, and the image gone";
  // The new version is kept in the state: a later boot (run by velc's tests) and a factory reset
  // keep it.
  ASSERT_TRUE(d.engine.factory_reset(std::nullopt).ok());
  EXPECT_EQ(state(d.engine), state_text("2.0.0", 0, 0));
}

// The same version flashing at once is run over the socket.
TEST(Upgrade, ConfirmationsThatDoNotMatchAndACancel) {
  Device d(1000);
  std::string saved = k::json_text(d.download("3.0.0").result.get(), "SavedFirmware");
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
  // A cancelled image is gone.
  EXPECT_EQ(result(d.upgrade.cancel(other.get())), R"({"Status":0})");
  EXPECT_FALSE(std::filesystem::exists(k::json_text(newer.result.get(), "SavedFirmware")));
  EXPECT_FALSE(d.upgrade.flashing());
}

// An image with one byte changed at `at`.
std::string flipped(std::string image, size_t at) {
  image[at] = static_cast<char>(image[at] ^ 0x55);
  return image;
}

TEST(FirmwareImage, HeaderAndPayloadChecks) {
  const std::string good = make_firmware_image("5.0.1-rc2", std::string(1000, 'p'));
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
      {"truncated payload", good.substr(0, good.size() - 1), "", "the payload has 999 bytes, the header says 1000"},
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

// A Download request's params in brief: its fault, or the MD5 read (the other members are read
// by the downloads velc's tests run end to end).
std::string read_params(const char* params) {
  DownloadRequest r;
  k::Json p = k::json_parse(params);
  if (auto bad = read_download_request(p.get(), r)) return test::brief(*bad) + " " + bad->fault.detail;
  return "md5=" + r.md5.value_or("none");
}

TEST(DownloadRequest, ReadsParamsAndRefusesBadOnes) {
  const char* shape = "-32602 expects FileType (text), URL, MD5, TargetFileName (texts), "
                      "FileSize (integer), NeedPreUpdate (boolean) and TransactionID";
  // Rows: params, expected.
  const std::pair<const char*, std::string> cases[] = {
      {R"({"FileType":"Firmware","MD5":"0123456789ABCDEF0123456789abcdef","NeedPreUpdate":true,"TransactionID":7})",
       "md5=0123456789abcdef0123456789abcdef"},
      {R"({"FileType":1})", shape},
      {R"({"FileType":"File","FileSize":"5"})", shape},
      {R"({"FileType":"Kernel"})", "9007 FileType \"Kernel\": expects Firmware, Config or File"},
      {R"({"FileType":"File","MD5":"0123456789abcdef0123456789abcdeg"})", "9007 MD5 must be 32 hex digits"},
      {R"({"FileType":"File","FileSize":-1})", "9007 FileSize must not be negative"},
  };
  for (const auto& [params, expected] : cases) EXPECT_EQ(read_params(params), expected) << params;
}

TEST(DownloadRequest, SourceUrls) {
  const struct {
    const char* url;
    std::string expected;  // scheme and parts, or the fault
  } cases[] = {
      {"file://tmp/fw.img", "9007 URL \"file://tmp/fw.img\": expects file://ABSOLUTE_PATH"},
      {"netcat://127.0.0.1:4700", "netcat 127.0.0.1 4700"},
      {"netcat://127.0.0.1", "9007 URL \"netcat://127.0.0.1\": expects netcat://HOST:PORT"},
      {"netcat://h:0", "9007 URL \"netcat://h:0\": the port must be a number from 1 to 65535"},
      {"netcat://h:+80", "9007 URL \"netcat://h:+80\": the port must be a number from 1 to 65535"},
      {"https://", "9007 URL \"https://\": no host"},
      {"ftp://example.com/fw.img",
       "9013 the scheme \"ftp\" is not fetched (expects file://, netcat://, http:// or https://)"},
      {"/tmp/fw.img",
       "9013 URL \"/tmp/fw.img\" has no scheme (expects file://, netcat://, http:// or https://)"},
  };
  for (const auto& c : cases) {
    SourceUrl url;
    std::string got;
    if (auto bad = read_source_url(c.url, url))
      got = test::brief(*bad) + " " + bad->fault.detail;
    else
      got = "netcat " + url.host + " " + std::to_string(url.port);
    EXPECT_EQ(got, c.expected) << c.url;
  }
}

TEST(DownloadRequest, FileNames) {
  EXPECT_EQ(url_file_name("http://example.com/files/fw.img?x=1#y"), "fw.img");
  for (const char* url : {"http://example.com", "netcat://1.2.3.4:5"}) EXPECT_EQ(url_file_name(url), "") << url;
  for (const std::string& safe : {std::string(".hidden"), std::string(255, 'x')}) EXPECT_TRUE(is_safe_file_name(safe)) << safe;
  for (const std::string& unsafe : {std::string("a..b"), std::string("."), std::string(), std::string("a/b"),
                                    std::string(256, 'x'), std::string("a\0b", 3)})
    EXPECT_FALSE(is_safe_file_name(unsafe)) << unsafe;
}

}  // namespace
}  // namespace sim
