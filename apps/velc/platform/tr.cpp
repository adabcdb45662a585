#include "platform/tr.h"

#include <array>

namespace k {

namespace {

constexpr std::array<const char*, 26> kTypeNames = {
    "",           "object",      "method",      "string",     "boolean",  "int",
    "unsignedInt", "long",       "unsignedLong", "decimal",   "dateTime", "base64",
    "hexBinary",  "IPAddress",   "IPv4Address", "IPv6Address", "IPPrefix", "MACAddress",
    "Alias",      "UUID",        "DomainName",  "list",       "enum",     "path",
    "unknown",    "bool"};

}  // namespace

int tr_type_code(std::string_view t) {
  if (t.empty()) return kTypeNone;
  for (size_t i = 1; i < kTypeNames.size(); ++i)
    if (t == kTypeNames[i]) return static_cast<int>(i);
  return kTypeUnknown;
}

bool tr_type_is_parameter(int code) { return code >= kTypeString; }

bool tr_path_is_full(std::string_view p) { return !p.empty() && p.back() != '.'; }
bool tr_path_is_partial(std::string_view p) { return !p.empty() && p.back() == '.'; }

std::string tr_parent_path(std::string_view path) {
  bool trailing = tr_path_is_partial(path);
  if (trailing) path.remove_suffix(1);
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string parent(path.substr(0, dot));
  if (trailing) parent += '.';
  return parent;
}

}  // namespace k
