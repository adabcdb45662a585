#include "downloads/firmware_image.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

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
