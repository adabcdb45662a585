// Number conversion and hashing of texts, with the exact acceptance rules the commands rely on.
#pragma once

#include <cstdint>
#include <string_view>

namespace k {

// Reads the whole text as an unsigned 32-bit number in `base` (0: "0x" hex, leading "0" octal,
// else decimal, as strtoul). 0 on success; negative when the text is empty, has anything after
// the number, a sign, or a value beyond 32 bits (`out` is then left unchanged).
int string_to_u32(std::string_view text, int base, uint32_t& out);
// The same for a signed 32-bit number (an optional "-" or "+").
int string_to_i32(std::string_view text, int base, int32_t& out);
// Reads the whole text as a finite or infinite real number; 0 or negative.
int string_to_double(std::string_view text, double& out);
// A 32-bit hash of the text (FNV-1a); equal texts give equal hashes. Usable at compile time.
constexpr uint32_t string_hash(std::string_view text) {
  uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

// White space as the C locale's isspace sees it: blank, tab, newline, vertical tab, form feed,
// carriage return.
constexpr bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace k
