#include "downloads/download_request.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdlib>

namespace sim {

namespace {

Reply bad_params(const std::string& why) { return Reply::failure(kInvalidParams, why); }

bool is_hex(std::string_view text) {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
      return false;
  return true;
}

std::optional<std::string> text_of(json_t* v) {
  if (!json_is_string(v)) return std::nullopt;
  return std::string(json_string_value(v), json_string_length(v));
}

}  // namespace

std::optional<Reply> read_download_request(json_t* params, DownloadRequest& out) {
  if (!json_is_object(params)) return bad_params("params must be an object");
  constexpr const char* kShape =
      "expects FileType (text), URL, MD5, TargetFileName (texts), FileSize (integer), "
      "NeedPreUpdate (boolean) and TransactionID";
  json_t* type = json_object_get(params, "FileType");
  std::optional<std::string> type_text = text_of(type);
  if (!type_text) return bad_params(kShape);
  for (const char* key : {"URL", "MD5", "TargetFileName"}) {
    json_t* v = json_object_get(params, key);
    if (v && !json_is_string(v)) return bad_params(kShape);
  }
  json_t* size = json_object_get(params, "FileSize");
  json_t* pre = json_object_get(params, "NeedPreUpdate");
  if ((size && !json_is_integer(size)) || (pre && !json_is_boolean(pre)))
    return bad_params(kShape);

  if (*type_text == "Firmware") {
    out.type = FileType::kFirmware;
  } else if (*type_text == "Config") {
    out.type = FileType::kConfig;
  } else if (*type_text == "File") {
    out.type = FileType::kFile;
  } else {
    return Reply::failure(kInvalidValue,
                          "FileType \"" + *type_text + "\": expects Firmware, Config or File");
  }
  out.url = text_of(json_object_get(params, "URL"));
  out.md5 = text_of(json_object_get(params, "MD5"));
  if (out.md5) {
    if (out.md5->size() != 32 || !is_hex(*out.md5))
      return Reply::failure(kInvalidValue, "MD5 must be 32 hex digits");
    for (char& c : *out.md5)
      if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  out.target_name = text_of(json_object_get(params, "TargetFileName"));
  if (size) {
    if (json_integer_value(size) < 0)
      return Reply::failure(kInvalidValue, "FileSize must not be negative");
    out.file_size = static_cast<uint64_t>(json_integer_value(size));
  }
  out.need_pre_update = json_is_true(pre);
  if (json_t* id = json_object_get(params, "TransactionID"))
    out.transaction_id = k::Json::borrow(id);
  return std::nullopt;
}

std::optional<Reply> read_source_url(const std::string& url, SourceUrl& out) {
  out.text = url;
  auto malformed = [&](const char* why) {
    return Reply::failure(kInvalidValue, "URL \"" + url + "\": " + why);
  };
  if (url.starts_with("file://")) {
    out.scheme = Scheme::kFile;
    out.path = url.substr(7);
    if (!out.path.starts_with("/")) return malformed("expects file://ABSOLUTE_PATH");
    return std::nullopt;
  }
  if (url.starts_with("netcat://")) {
    out.scheme = Scheme::kNetcat;
    std::string rest = url.substr(9);
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size())
      return malformed("expects netcat://HOST:PORT");
    std::string port = rest.substr(colon + 1);
    errno = 0;
    char* end = nullptr;
    long p = std::strtol(port.c_str(), &end, 10);
    if (port[0] < '0' || port[0] > '9' || *end || errno || p < 1 || p > 65535)
      return malformed("the port must be a number from 1 to 65535");
    out.host = rest.substr(0, colon);
    out.port = static_cast<uint16_t>(p);
    return std::nullopt;
  }
  if (url.starts_with("http://") || url.starts_with("https://")) {
    out.scheme = Scheme::kHttp;
    if (url.size() == (url[4] == 's' ? 8u : 7u)) return malformed("no host");
    return std::nullopt;
  }
  size_t colon = url.find("://");
  std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
  return Reply::failure(kUnsupportedProtocol,
                        (scheme.empty() ? "URL \"" + url + "\" has no scheme"
                                        : "the scheme \"" + scheme + "\" is not fetched") +
                            " (expects file://, netcat://, http:// or https://)");
}

std::string url_file_name(const std::string& url) {
  std::string_view rest = url;
  size_t scheme = rest.find("://");
  if (scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("?#"));
  size_t slash = rest.rfind('/');
  if (slash == std::string_view::npos) return {};  // only a host
  return std::string(rest.substr(slash + 1));
}

bool is_safe_file_name(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name != "." &&
         name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::string md5_hex(std::string_view data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(data.data(), data.size(), md, &size, EVP_md5(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < size; ++i) {
    out.push_back(kHex[md[i] >> 4]);
    out.push_back(kHex[md[i] & 15]);
  }
  return out;
}

}  // namespace sim
