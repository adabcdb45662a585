#include "platform/text.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace k {

namespace {

// Parses a magnitude with strtoull semantics over the whole text; false when the text is empty,
// partly consumed, or overflows 64 bits.
bool parse_magnitude(const std::string& s, int base, unsigned long long& v) {
  if (s.empty() || is_blank(s[0]) || s[0] == '-' || s[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  v = std::strtoull(s.c_str(), &end, base);
  return errno == 0 && end == s.c_str() + s.size();
}

}  // namespace

int string_to_u32(std::string_view text, int base, uint32_t& out) {
  unsigned long long v;
  if (!parse_magnitude(std::string(text), base, v) || v > UINT32_MAX) return -1;
  out = static_cast<uint32_t>(v);
  return 0;
}

int string_to_i32(std::string_view text, int base, int32_t& out) {
  bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  unsigned long long v;
  if (!parse_magnitude(std::string(text), base, v)) return -1;
  if (negative ? v > 2147483648ULL : v > 2147483647ULL) return -1;
  out = negative ? static_cast<int32_t>(-static_cast<long long>(v)) : static_cast<int32_t>(v);
  return 0;
}

int string_to_double(std::string_view text, double& out) {
  std::string s(text);
  if (s.empty() || is_blank(s[0])) return -1;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || errno == ERANGE) return -1;
  out = v;
  return 0;
}

}  // namespace k
