// Terminal colours. Sequences are written only when standard output is a terminal and NO_COLOR is
// unset, so piped output and files carry no escape sequences.
#pragma once

#include <cstdint>
#include <string>

namespace k {

// A colour as hue (degrees, 0..359 meaningful), saturation and value (percent, 0..100).
struct HsvColour {
  uint16_t hue = 0;
  uint8_t saturation = 0;
  uint8_t value = 0;
};

// Fixed colours of `colors_set`.
inline constexpr int kColourError = 1;    // red: error lines
inline constexpr int kColourOk = 2;       // green: "OK"
inline constexpr int kColourNumber = 3;   // yellow: instance numbers

// True when colour sequences are written (decided once, at the first use).
bool colors_enabled();
// Forces the decision (tests, and the shell once it knows its terminal).
void colors_force(bool on);

// Switches standard output to a fixed colour (1, 2 or 3).
void colors_set(int colour);
// Switches standard output to an HSV colour (24-bit sequence).
void colors_set_hsv(const HsvColour& c);
// Back to the terminal's normal colour.
void colors_reset();

// The 24-bit foreground sequence of an HSV colour, without checking whether colours are on.
std::string hsv_sequence(const HsvColour& c);

}  // namespace k
