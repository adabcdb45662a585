#include "model/value_check.h"

#include <arpa/inet.h>
#include <regex.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>

#include "model/fault.h"
#include "platform/tr.h"

namespace sim {

namespace {

// A compiled pattern, freed with the cache.
struct CompiledRegex {
  regex_t re{};
  bool ok = false;
  ~CompiledRegex() {
    if (ok) regfree(&re);
  }
};

// Patterns come from the model only, so the cache stays as small as the model's set of patterns.
const CompiledRegex& compiled(const std::string& pattern) {
  static std::map<std::string, std::unique_ptr<CompiledRegex>> cache;
  auto& slot = cache[pattern];
  if (!slot) {
    slot = std::make_unique<CompiledRegex>();
    std::string anchored = "^(" + pattern + ")$";
    slot->ok = regcomp(&slot->re, anchored.c_str(), REG_EXTENDED | REG_NOSUB) == 0;
  }
  return *slot;
}

int fail(int code, std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return code;
}

// Bounds of the integer types; other types with integer values are bounded by JSON alone.
void type_bounds(int type, long long& lo, long long& hi) {
  lo = std::numeric_limits<long long>::min();
  hi = std::numeric_limits<long long>::max();
  if (type == k::kTypeInt) {
    lo = INT32_MIN;
    hi = INT32_MAX;
  } else if (type == k::kTypeUnsignedInt) {
    lo = 0;
    hi = UINT32_MAX;
  } else if (type == k::kTypeUnsignedLong) {
    lo = 0;
  }
}

size_t utf8_length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool is_mac(std::string_view s) {
  if (s.size() != 17) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    bool colon = i % 3 == 2;
    if (colon ? s[i] != ':' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

bool is_address(int family, const std::string& s) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(family, s.c_str(), buf) == 1;
}

// Format of the address types; the empty text means "none" and is always allowed.
bool format_ok(int type, const std::string& s) {
  if (s.empty()) return true;
  switch (type) {
    case k::kTypeIpv4Address: return is_address(AF_INET, s);
    case k::kTypeIpv6Address: return is_address(AF_INET6, s);
    case k::kTypeIpAddress: return is_address(AF_INET, s) || is_address(AF_INET6, s);
    case k::kTypeMacAddress: return is_mac(s);
    default: return true;
  }
}

bool in_enum(json_t* allowed, json_t* value) {
  size_t i;
  json_t* v;
  json_array_foreach(allowed, i, v) if (json_equal(v, value)) return true;
  return false;
}

// Each comma-separated item of a list value must be allowed.
bool list_in_enum(json_t* allowed, const std::string& s) {
  if (s.empty()) return true;
  size_t pos = 0;
  while (pos <= s.size()) {
    size_t comma = s.find(',', pos);
    if (comma == std::string::npos) comma = s.size();
    k::Json item = k::json_str(std::string_view(s).substr(pos, comma - pos));
    if (!item || !in_enum(allowed, item.get())) return false;
    pos = comma + 1;
  }
  return true;
}

int check_integer(json_t* attr, int type, long long v, std::string* why) {
  long long lo, hi;
  type_bounds(type, lo, hi);
  if (v < lo || v > hi) return fail(kInvalidValue, why, "outside the type's range");
  json_t* min = json_object_get(attr, "minInclusive");
  json_t* max = json_object_get(attr, "maxInclusive");
  if (json_is_integer(min) && v < json_integer_value(min))
    return fail(kInvalidValue, why, "below minInclusive");
  if (json_is_integer(max) && v > json_integer_value(max))
    return fail(kInvalidValue, why, "above maxInclusive");
  return 0;
}

int check_string(json_t* attr, int type, json_t* value, std::string* why) {
  std::string s(json_string_value(value), json_string_length(value));
  if (s.find('\0') != std::string::npos) return fail(kInvalidValue, why, "holds a NUL character");
  size_t len = utf8_length(s);
  json_t* min = json_object_get(attr, "minLength");
  json_t* max = json_object_get(attr, "maxLength");
  if (json_is_integer(min) && static_cast<long long>(len) < json_integer_value(min))
    return fail(kInvalidValue, why, "shorter than minLength");
  if (json_is_integer(max) && static_cast<long long>(len) > json_integer_value(max))
    return fail(kInvalidValue, why, "longer than maxLength");
  if (!format_ok(type, s)) return fail(kInvalidValue, why, "not a valid address");
  json_t* allowed = json_object_get(attr, "enum");
  if (json_is_array(allowed)) {
    bool ok = type == k::kTypeList ? list_in_enum(allowed, s) : in_enum(allowed, value);
    if (!ok) return fail(kInvalidValue, why, "not one of the enumerated values");
  }
  json_t* pattern = json_object_get(attr, "regex");
  if (json_is_string(pattern)) {
    const CompiledRegex& re = compiled(json_string_value(pattern));
    if (re.ok && regexec(&re.re, s.c_str(), 0, nullptr, 0) != 0)
      return fail(kInvalidValue, why, "does not match the pattern");
  }
  return 0;
}

// Reads a whole text as a 64-bit integer: optional sign, then decimal, "0x" hex, "0b" binary or
// leading-"0" octal digits.
bool parse_integer(std::string_view text, long long& out) {
  bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  int base = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) {
    base = 2;
    text.remove_prefix(2);
  }
  if (text.empty() || !std::isalnum(static_cast<unsigned char>(text[0]))) return false;
  std::string s(text);
  errno = 0;
  char* end = nullptr;
  unsigned long long mag = std::strtoull(s.c_str(), &end, base);
  if (errno != 0 || end != s.c_str() + s.size()) return false;
  constexpr unsigned long long kMax = std::numeric_limits<long long>::max();
  if (negative ? mag > kMax + 1 : mag > kMax) return false;
  out = negative ? static_cast<long long>(0 - mag) : static_cast<long long>(mag);
  return true;
}

// A run of 1 to 9 digits at `at`, moving `at` past it.
bool number(std::string_view text, size_t& at) {
  size_t start = at;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  return at > start && at - start <= 9;
}

}  // namespace

ValueKind value_kind(json_t* attr) {
  json_t* def = json_object_get(attr, "default");
  if (json_is_string(def)) return ValueKind::kString;
  if (json_is_integer(def)) return ValueKind::kInteger;
  if (json_is_real(def)) return ValueKind::kReal;
  if (json_is_boolean(def)) return ValueKind::kBoolean;
  if (json_is_array(def)) return ValueKind::kArray;
  switch (k::tr_type_code(k::json_text(attr, "type"))) {
    case k::kTypeBoolean:
    case k::kTypeBool: return ValueKind::kBoolean;
    case k::kTypeInt:
    case k::kTypeUnsignedInt:
    case k::kTypeLong:
    case k::kTypeUnsignedLong: return ValueKind::kInteger;
    case k::kTypeDecimal: return ValueKind::kReal;
    default: return ValueKind::kString;
  }
}

int check_value(json_t* attr, json_t* value, k::Json& stored, std::string* why) {
  int type = k::tr_type_code(k::json_text(attr, "type"));
  stored = k::Json::borrow(value);
  switch (value_kind(attr)) {
    case ValueKind::kBoolean:
      return json_is_boolean(value) ? 0 : fail(kInvalidType, why, "expects true or false");
    case ValueKind::kInteger:
      if (!json_is_integer(value)) return fail(kInvalidType, why, "expects an integer");
      return check_integer(attr, type, json_integer_value(value), why);
    case ValueKind::kReal: {
      if (!json_is_number(value)) return fail(kInvalidType, why, "expects a number");
      double v = json_number_value(value);
      json_t* min = json_object_get(attr, "minInclusive");
      json_t* max = json_object_get(attr, "maxInclusive");
      if ((json_is_number(min) && v < json_number_value(min)) ||
          (json_is_number(max) && v > json_number_value(max)))
        return fail(kInvalidValue, why, "outside minInclusive..maxInclusive");
      stored = k::Json::take(json_real(v));
      return 0;
    }
    case ValueKind::kArray:
      return json_is_array(value) ? 0 : fail(kInvalidType, why, "expects an array");
    case ValueKind::kString:
      if (!json_is_string(value)) return fail(kInvalidType, why, "expects a string");
      return check_string(attr, type, value, why);
  }
  return 0;
}

k::Json value_from_text(json_t* attr, std::string_view text) {
  switch (value_kind(attr)) {
    case ValueKind::kBoolean:
      if (text == "true" || text == "1") return k::Json::take(json_true());
      if (text == "false" || text == "0") return k::Json::take(json_false());
      return {};
    case ValueKind::kInteger: {
      long long v;
      return parse_integer(text, v) ? k::Json::take(json_integer(v)) : k::Json();
    }
    case ValueKind::kReal: {
      std::string s(text);
      if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return {};
      errno = 0;
      char* end = nullptr;
      double v = std::strtod(s.c_str(), &end);
      if (errno != 0 || end != s.c_str() + s.size()) return {};
      return k::Json::take(json_real(v));
    }
    case ValueKind::kArray:
      return k::json_parse(text);
    case ValueKind::kString:
      return k::json_str(text);
  }
  return {};
}

bool regex_compiles(const std::string& pattern) { return compiled(pattern).ok; }

bool is_version_text(std::string_view text) {
  size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (!number(text, at)) return false;
    if (part < 2 && (at >= text.size() || text[at++] != '.')) return false;
  }
  if (at == text.size()) return true;
  if (text[at++] != '-' || at == text.size()) return false;
  for (; at < text.size(); ++at) {
    char c = text[at];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace sim
