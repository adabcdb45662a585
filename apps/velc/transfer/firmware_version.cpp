#include "transfer/firmware_version.h"

#include <cstdint>
#include <optional>

namespace k {

namespace {

struct Version {
  uint32_t number[3] = {};  // major, minor, build
  std::string_view suffix;  // without its "-"; empty: none
};

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads one number of a version text from the front of `text`; none when malformed.
std::optional<uint32_t> take_number(std::string_view& text) {
  size_t n = 0;
  while (n < text.size() && is_digit(text[n])) ++n;
  if (n == 0 || n > 9 || (n > 1 && text[0] == '0')) return std::nullopt;
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v * 10 + static_cast<uint32_t>(text[i] - '0');
  text.remove_prefix(n);
  return v;
}

std::optional<Version> parse(std::string_view text) {
  Version v;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (text.empty() || text[0] != '.') return std::nullopt;
      text.remove_prefix(1);
    }
    std::optional<uint32_t> n = take_number(text);
    if (!n) return std::nullopt;
    v.number[i] = *n;
  }
  if (text.empty()) return v;
  if (text[0] != '-' || text.size() == 1) return std::nullopt;
  v.suffix = text.substr(1);
  for (char c : v.suffix)
    if (c <= ' ' || c > '~') return std::nullopt;
  return v;
}

int sign(int64_t d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

// Orders two suffixes: runs of digits as numbers, everything else byte by byte; texts that this
// finds equal ("a01", "a1") are ordered by their bytes.
int suffix_cmp(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      size_t i0 = i, j0 = j;
      while (i0 < a.size() && a[i0] == '0') ++i0;
      while (j0 < b.size() && b[j0] == '0') ++j0;
      size_t i1 = i0, j1 = j0;
      while (i1 < a.size() && is_digit(a[i1])) ++i1;
      while (j1 < b.size() && is_digit(b[j1])) ++j1;
      if (i1 - i0 != j1 - j0) return i1 - i0 < j1 - j0 ? -1 : 1;
      if (int c = a.substr(i0, i1 - i0).compare(b.substr(j0, j1 - j0))) return sign(c);
      i = i1;
      j = j1;
      continue;
    }
    if (a[i] != b[j])
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return sign(a.compare(b));
}

}  // namespace

int firmware_version_cmp(std::string_view current, std::string_view next) {
  if (current == next) return 0;
  std::optional<Version> to = parse(next);
  if (!to) return -kVersionIncomparable;
  std::optional<Version> from = parse(current);
  if (!from) return kVersionIncomparable;
  // Major differences weigh 3, minor 2, build 1.
  for (int i = 0; i < 3; ++i)
    if (from->number[i] != to->number[i])
      return (3 - i) * (to->number[i] > from->number[i] ? 1 : -1);
  if (from->suffix.empty() != to->suffix.empty()) return to->suffix.empty() ? -1 : 1;
  return suffix_cmp(to->suffix, from->suffix);
}

}  // namespace k
