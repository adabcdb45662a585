#include "downloads/firmware_image.h"
#include "model/value_check.h"

#include <openssl/evp.h>

#include <cstring>

namespace sim {

namespace {

uint64_t read_be(std::string_view bytes, size_t at, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

void write_be(std::string& out, uint64_t v, size_t n) {
  for (size_t i = n; i-- > 0;) out.push_back(static_cast<char>(v >> (8 * i) & 0xff));
}

std::array<unsigned char, 32> sha256(std::string_view data) {
  std::array<unsigned char, 32> md{};
  unsigned size = 0;
  EVP_Digest(data.data(), data.size(), md.data(), &size, EVP_sha256(), nullptr);
  return md;
}

}  // namespace


bool parse_firmware_header(std::string_view image, FirmwareHeader& out, std::string& error) {
  if (image.size() < kFirmwareMagic.size() || image.substr(0, 4) != kFirmwareMagic) {
    error = "not a firmware image (bad magic)";
    return false;
  }
  if (image.size() < kFirmwareHeaderSize) {
    error = "truncated firmware header";
    return false;
  }
  if (uint64_t format = read_be(image, 4, 2); format != kFirmwareFormat) {
    error = "firmware image format " + std::to_string(format) + " is not supported";
    return false;
  }
  size_t length = read_be(image, 6, 2);
  if (length == 0 || length > kMaxVersionText) {
    error = "bad firmware version length " + std::to_string(length);
    return false;
  }
  if (image.size() < kFirmwareHeaderSize + length) {
    error = "truncated firmware header";
    return false;
  }
  std::string_view version = image.substr(kFirmwareHeaderSize, length);
  if (!is_version_text(version)) {
    error = "bad firmware version text (expects MAJOR.MINOR.BUILD[-SUFFIX])";
    return false;
  }
  out.version = version;
  out.payload_size = read_be(image, 8, 8);
  std::memcpy(out.sha256.data(), image.data() + 16, out.sha256.size());
  out.payload_offset = kFirmwareHeaderSize + length;
  return true;
}

bool verify_firmware_payload(std::string_view image, const FirmwareHeader& header,
                             std::string& error) {
  std::string_view payload = image.substr(header.payload_offset);
  if (payload.size() != header.payload_size) {
    error = "the payload has " + std::to_string(payload.size()) + " bytes, the header says " +
            std::to_string(header.payload_size);
    return false;
  }
  if (sha256(payload) != header.sha256) {
    error = "firmware checksum mismatch";
    return false;
  }
  return true;
}

std::string make_firmware_image(std::string_view version, std::string_view payload) {
  std::string out(kFirmwareMagic);
  write_be(out, kFirmwareFormat, 2);
  write_be(out, version.size(), 2);
  write_be(out, payload.size(), 8);
  auto digest = sha256(payload);
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  out += version;
  out += payload;
  return out;
}

}  // namespace sim
