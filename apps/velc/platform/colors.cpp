#include "platform/colors.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace k {

bool colours_wanted(bool to_terminal, const char* no_color, const char* term) {
  return to_terminal && !no_color && !(term && std::strcmp(term, "dumb") == 0);
}

bool stdout_wants_colours() {
  return colours_wanted(isatty(STDOUT_FILENO), std::getenv("NO_COLOR"), std::getenv("TERM"));
}

void ColourTable::set(int entry, FILE* to) const {
  if (enabled && entry >= 0 && entry < kColourEntries)
    std::fputs(hsv_sequence(entries[entry]).c_str(), to);
}

void ColourTable::set_fixed(int colour, FILE* to) const {
  if (!enabled) return;
  const char* seq = colour == kColourError    ? "\033[31m"
                    : colour == kColourOk     ? "\033[32m"
                    : colour == kColourNumber ? "\033[33m"
                                              : "\033[0m";
  std::fputs(seq, to);
}

void ColourTable::reset(FILE* to) const {
  if (enabled) std::fputs("\033[0m", to);
}

std::string hsv_sequence(const HsvColour& c) {
  double h = std::fmod(c.hue, 360.0) / 60.0;
  double s = std::min(c.saturation, uint8_t{100}) / 100.0;
  double v = std::min(c.value, uint8_t{100}) / 100.0;
  double chroma = v * s;
  double x = chroma * (1 - std::fabs(std::fmod(h, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0: r = chroma; g = x; break;
    case 1: r = x; g = chroma; break;
    case 2: g = chroma; b = x; break;
    case 3: g = x; b = chroma; break;
    case 4: r = x; b = chroma; break;
    default: r = chroma; b = x; break;
  }
  double m = v - chroma;
  auto byte = [m](double part) { return static_cast<int>(std::lround((part + m) * 255)); };
  char buf[40];
  std::snprintf(buf, sizeof buf, "\033[38;2;%d;%d;%dm", byte(r), byte(g), byte(b));
  return buf;
}

}  // namespace k
