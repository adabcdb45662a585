#include "platform/printable.h"

namespace k {

namespace {

// The length of the UTF-8 sequence that a lead byte announces (0 for a byte that starts none).
size_t sequence_length(unsigned char c) {
  if (c < 0x80) return 1;
  if (c >= 0xc2 && c <= 0xdf) return 2;
  if (c >= 0xe0 && c <= 0xef) return 3;
  if (c >= 0xf0 && c <= 0xf4) return 4;
  return 0;
}

}  // namespace

std::string escape_controls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char hex[8];
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    bool c0 = (c < 0x20 && c != '\t' && c != '\n') || c == 0x7f;
    bool c1 = c == 0xc2 && i + 1 < text.size() &&
              static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(text[i + 1]) <= 0x9f;
    size_t length = sequence_length(c);
    for (size_t k = 1; k < length; ++k) {
      auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      if (next < 0x80 || next > 0xbf) length = 0;  // not a whole character: the lead is stray
    }
    if (c1) {
      std::snprintf(hex, sizeof hex, "\\u00%02x", static_cast<unsigned char>(text[i + 1]));
      out += hex;
      i += 2;
    } else if (c0 || length == 0) {
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
      i += 1;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

void put_text(std::string_view text, bool escape, FILE* to) {
  if (text.empty()) return;  // an empty view may hold no pointer at all
  if (!escape) {
    std::fwrite(text.data(), 1, text.size(), to);
    return;
  }
  std::string shown = escape_controls(text);
  std::fwrite(shown.data(), 1, shown.size(), to);
}

}  // namespace k
