#include "platform/json_cursor.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>

namespace k {

namespace {

// The bytes that end a plain run inside a string: its end, an escape, a control character, and
// the lead of a multi-byte character (checked as UTF-8).
constexpr std::array<bool, 256> kStringStop = [] {
  std::array<bool, 256> stop{};
  for (int c = 0; c < 256; ++c) stop[c] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
  return stop;
}();

// A machine word: the plain runs of texts are tested a word at a time (8 bytes, or 4 on a 32-bit
// processor).
using Word = uintptr_t;
constexpr Word kOnes = ~Word{0} / 0xFF;  // 0x01 in every byte
constexpr Word kHigh = kOnes * 0x80;

// The stop bytes among the bytes of `w`, each marked by its high bit. A borrow may mark bytes
// above a stop byte as well, but never below the first one.
Word stop_bytes(Word w) {
  auto zero_bytes = [](Word v) { return (v - kOnes) & ~v & kHigh; };
  Word below_space = (w - 0x20 * kOnes) & ~w & kHigh;
  Word quote = zero_bytes(w ^ ('"' * kOnes)), backslash = zero_bytes(w ^ ('\\' * kOnes));
  return (w & kHigh) | below_space | quote | backslash;
}

// The first stop byte from `p` on, or `end`.
const char* next_stop(const char* p, const char* end) {
  for (; end - p >= static_cast<ptrdiff_t>(sizeof(Word)); p += sizeof(Word)) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    if (Word stops = stop_bytes(word)) {
      if constexpr (std::endian::native == std::endian::little)
        return p + std::countr_zero(stops) / 8;
      break;
    }
  }
  while (p < end && !kStringStop[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// The length of the UTF-8 character starting at `p` (its first byte 0x80 or more), or 0 when
// it is not one: a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or
// cut short.
size_t utf8_length(const char* p, const char* end) {
  auto lead = static_cast<unsigned char>(*p);
  size_t n = 0;
  uint32_t code = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, code = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, code = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, code = lead & 0x07u, least = 0x10000;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    auto byte = static_cast<unsigned char>(p[i]);
    if ((byte & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte & 0x3Fu);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The four hex digits of a "\u" escape at `p`; false when they are not.
bool hex4(const char* p, const char* end, uint32_t& code) {
  if (end - p < 4) return false;
  code = 0;
  for (int i = 0; i < 4; ++i) {
    char c = p[i];
    unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                     : c >= 'a' && c <= 'f' ? c - 'a' + 10
                     : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                            : 16;
    if (digit == 16) return false;
    code = code << 4 | digit;
  }
  return true;
}

}  // namespace

bool JsonCursor::next_member(bool& first, std::string_view& name, std::string& scratch) {
  skip_space();
  if (p_ == end_) return fail();
  if (*p_ == '}') {
    ++p_;
    return false;
  }
  if (!first) {
    if (*p_ != ',') return fail();
    ++p_;
    skip_space();
  }
  first = false;
  if (p_ == end_ || *p_ != '"' || !string(name, scratch)) return fail();
  skip_space();
  if (p_ == end_ || *p_ != ':') return fail();
  ++p_;
  return true;
}

bool JsonCursor::string(std::string_view& text, std::string& scratch) {
  scratch.clear();
  const char* run = ++p_;  // past the opening quote
  bool escaped = false;
  for (;;) {
    p_ = next_stop(p_, end_);
    if (p_ == end_) return fail();
    auto c = static_cast<unsigned char>(*p_);
    if (c == '"') {
      if (escaped) {
        scratch.append(run, p_);
        text = scratch;
      } else {
        text = std::string_view(run, static_cast<size_t>(p_ - run));
      }
      ++p_;
      return true;
    }
    if (c >= 0x80) {
      size_t n = utf8_length(p_, end_);
      if (n == 0) return fail();
      p_ += n;
      continue;
    }
    if (c != '\\') return fail();  // a control character
    scratch.append(run, p_);
    escaped = true;
    if (!escape(scratch)) return fail();
    run = p_;
  }
}

bool JsonCursor::escape(std::string& scratch) {
  if (end_ - p_ < 2) return false;
  char c = p_[1];
  p_ += 2;
  switch (c) {
    case '"': case '\\': case '/': scratch.push_back(c); return true;
    case 'b': scratch.push_back('\b'); return true;
    case 'f': scratch.push_back('\f'); return true;
    case 'n': scratch.push_back('\n'); return true;
    case 'r': scratch.push_back('\r'); return true;
    case 't': scratch.push_back('\t'); return true;
    case 'u': break;
    default: return false;
  }
  uint32_t code = 0;
  if (!hex4(p_, end_, code) || code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
  p_ += 4;
  if (code >= 0xD800 && code <= 0xDBFF) {
    // A high surrogate stands only before a low one.
    uint32_t low = 0;
    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u' || !hex4(p_ + 2, end_, low) ||
        low < 0xDC00 || low > 0xDFFF)
      return false;
    p_ += 6;
    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
  }
  append_utf8(scratch, code);
  return true;
}

bool JsonCursor::number(JsonNumber& out) {
  const char* start = p_;
  const char* p = p_;
  bool negative = *p == '-';
  if (negative) ++p;
  if (!is_digit(p, end_)) return fail();
  if (*p == '0') {
    ++p;  // no leading zeros
  } else {
    while (is_digit(p, end_)) ++p;
  }
  const char* digits_end = p;
  out.real = false;
  if (p < end_ && *p == '.') {
    if (!is_digit(++p, end_)) return fail();
    while (is_digit(p, end_)) ++p;
    out.real = true;
  }
  if (p < end_ && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p < end_ && (*p == '+' || *p == '-')) ++p;
    if (!is_digit(p, end_)) return fail();
    while (is_digit(p, end_)) ++p;
    out.real = true;
  }
  p_ = p;
  if (out.real) {
    // from_chars rounds as strtod does, in any locale; it refuses overflow and underflow alike.
    auto [end, error] = std::from_chars(start, p, out.value);
    return (error == std::errc() && end == p) || fail();
  }
  uint64_t magnitude = 0;
  for (const char* d = start + negative; d < digits_end; ++d) {
    auto digit = static_cast<unsigned>(*d - '0');
    if (magnitude > (UINT64_MAX - digit) / 10) return fail();
    magnitude = magnitude * 10 + digit;
  }
  if (magnitude > (negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1)) return fail();
  out.integer = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
  return true;
}

bool JsonCursor::literal() {
  std::string_view word = *p_ == 't' ? "true" : *p_ == 'f' ? "false" : "null";
  if (static_cast<size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word)
    return fail();
  p_ += word.size();
  return true;
}

void JsonCursor::skip_string() {
  ++p_;
  while (p_ < end_) {
    char c = *p_++;
    if (c == '\\') {
      ++p_;
    } else if (c == '"') {
      return;
    }
  }
}

void JsonCursor::skip() {
  switch (peek()) {
    case kString: skip_string(); return;
    case kObject:
    case kArray: {
      int depth = 0;
      do {
        char c = *p_;
        if (c == '"') {
          skip_string();
          continue;
        }
        if (c == '{' || c == '[') ++depth;
        if (c == '}' || c == ']') --depth;
        ++p_;
      } while (depth > 0 && p_ < end_);
      return;
    }
    case kNumber: {
      JsonNumber unused;
      number(unused);
      return;
    }
    case kTrue:
    case kFalse:
    case kNull: literal(); return;
    default: return;
  }
}

bool JsonCursor::at_end() {
  skip_space();
  return p_ == end_;
}

}  // namespace k
