// The parameters of a Download request, the URLs the device fetches from and the names it
// stores files under.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/engine.h"

namespace sim {

// What is downloaded, from "FileType".
enum class FileType { kFirmware, kConfig, kFile };

// A Download request's parameters, read and checked for shape.
struct DownloadRequest {
  FileType type = FileType::kFile;
  std::optional<std::string> url;
  std::optional<std::string> md5;          // 32 hex digits, lower case
  std::optional<std::string> target_name;  // "TargetFileName"
  std::optional<uint64_t> file_size;       // "FileSize": what a netcat sender sends
  bool need_pre_update = false;
  k::Json transaction_id;                  // none when absent
};

// Reads the params of a Download request. A fault when a member has the wrong type (-32602)
// or a value the device does not take (9007: an unknown FileType, an MD5 that is not 32 hex
// digits, a negative FileSize); none when `out` is filled.
std::optional<Reply> read_download_request(json_t* params, DownloadRequest& out);

// How a URL is fetched.
enum class Scheme { kFile, kNetcat, kHttp };

// A URL the device can fetch from.
struct SourceUrl {
  Scheme scheme = Scheme::kFile;
  std::string text;  // the whole URL
  std::string path;  // file: the absolute path
  std::string host;  // netcat: the host and port
  uint16_t port = 0;
};

// Reads "file://ABS_PATH", "netcat://HOST:PORT", "http://..." or "https://...". A fault
// otherwise: 9013 for another scheme, 9007 for a malformed URL of a known one.
std::optional<Reply> read_source_url(const std::string& url, SourceUrl& out);

// The last element of a URL's path (before any "?" or "#"); "" when it has none.
std::string url_file_name(const std::string& url);

// True for a name a downloaded file may be stored under in the downloads folder: 1 to 255
// bytes, no "/", no "..", not ".".
bool is_safe_file_name(std::string_view name);

// The MD5 digest of bytes in lower-case hex.
std::string md5_hex(std::string_view data);

}  // namespace sim
