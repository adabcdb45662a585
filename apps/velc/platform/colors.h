// Terminal colours: the run's colour scheme and the sequences that switch standard output to a
// colour. Sequences are written only while the scheme is enabled, which a run decides from its
// terminal (see stdout_wants_colours), so piped output and files carry no escape sequences.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace k {

// A colour as hue (degrees, 0..359 meaningful), saturation and value (percent, 0..100).
struct HsvColour {
  uint16_t hue = 0;
  uint8_t saturation = 0;
  uint8_t value = 0;
};

// Entries of the colour table.
enum ColourEntry : int {
  kColourRootPrompt = 0,    // the prompt while the user has system access
  kColourPrompt = 1,        // the prompt otherwise
  kColourAutocomplete = 2,  // completion candidates and highlighted output
  kColourHint = 3,          // hint text
};
inline constexpr int kColourEntries = 4;

// Fixed colours, the same in every scheme.
enum FixedColour : int {
  kColourError = 1,   // red: error lines
  kColourOk = 2,      // green: "OK"
  kColourNumber = 3,  // yellow: instance numbers
};

// The colour scheme of a run: four HSV entries (the `color` command changes them) and whether
// sequences are written at all; with it, whether text from the device is written with its
// control characters escaped (see printable.h). A default table does neither, so tests see
// plain text.
struct ColourTable {
  HsvColour entries[kColourEntries] = {{0, 100, 100}, {220, 78, 100}, {50, 100, 55}, {120, 100, 55}};
  bool enabled = false;
  bool escape = false;  // standard output is a terminal

  // Switches the output `to` to an entry of the table.
  void set(int entry, FILE* to = stdout) const;
  // Switches the output `to` to a fixed colour.
  void set_fixed(int colour, FILE* to = stdout) const;
  // Back to the terminal's normal colour.
  void reset(FILE* to = stdout) const;
};

// Whether a run writes colours: only to a terminal, and neither with NO_COLOR set (to anything)
// nor on a terminal that says it has none (TERM=dumb). `no_color` and `term` are the variables'
// values, null when unset.
bool colours_wanted(bool to_terminal, const char* no_color, const char* term);

// colours_wanted for standard output and this run's environment: the run's colours are enabled.
bool stdout_wants_colours();

// The 24-bit foreground sequence of an HSV colour.
std::string hsv_sequence(const HsvColour& c);

}  // namespace k
