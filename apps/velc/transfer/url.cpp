#include "transfer/url.h"

namespace k {

namespace {

constexpr bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool is_url(std::string_view text) {
  size_t sep = text.find("://");
  if (sep == 0 || sep == std::string_view::npos || sep + 3 >= text.size()) return false;
  if (!is_letter(text[0])) return false;
  for (char c : text.substr(1, sep - 1))
    if (!is_letter(c) && !is_digit(c) && c != '+' && c != '-' && c != '.') return false;
  return true;
}

}  // namespace k
