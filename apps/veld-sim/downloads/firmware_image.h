// The firmware image format of the emulated device: a fixed header, the version text, then the
// payload. All integers are big-endian.
//
//   offset  size  field
//   0       4     magic "KNFW"
//   4       2     format version, 1
//   6       2     length L of the version text, 1 to 64
//   8       8     length N of the payload
//   16      32    SHA-256 of the payload
//   48      L     the version text, MAJOR.MINOR.BUILD[-SUFFIX] ("4.2.1-build2031")
//   48+L    N     the payload
//
// An image is exactly 48 + L + N bytes. scripts/make-firmware makes one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

inline constexpr std::string_view kFirmwareMagic = "KNFW";
inline constexpr unsigned kFirmwareFormat = 1;
inline constexpr size_t kFirmwareHeaderSize = 48;
inline constexpr size_t kMaxVersionText = 64;

// What the header of an image says.
struct FirmwareHeader {
  std::string version;
  uint64_t payload_size = 0;
  std::array<unsigned char, 32> sha256{};
  size_t payload_offset = 0;  // where the payload starts
};

// Reads an image's header and version text. False with `error` ("bad magic", "truncated
// header", ...) when the bytes are no image of a format this device knows.
bool parse_firmware_header(std::string_view image, FirmwareHeader& out, std::string& error);

// Checks the payload against its header: its length and its SHA-256. False with `error`.
bool verify_firmware_payload(std::string_view image, const FirmwareHeader& header,
                             std::string& error);

// An image of `version` around `payload` (for tests; scripts/make-firmware makes the same).
std::string make_firmware_image(std::string_view version, std::string_view payload);

}  // namespace sim
