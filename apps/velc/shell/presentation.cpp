// The commands that change the shell's presentation: `color`, `opt` and `clear`.
#include <cstdio>
#include <cstring>

#include "platform/text.h"
#include "shell/command_handlers.h"
#include "shell/prompt.h"

namespace {

// The text of argument `i`, or null when there is none.
const char* arg_text(json_t* args, size_t i) { return json_string_value(json_array_get(args, i)); }

// The colour-table entry a type word selects, or -1.
int colour_entry_of(const char* type) {
  static const char* const kTypes[] = {"root-prompt", "prompt", "autocomplete", "hint"};
  for (int i = 0; i < 4; ++i)
    if (type && std::strcmp(type, kTypes[i]) == 0) return i;
  return -1;
}

int color_syntax(const std::string& name) {
  std::printf("syntax: %s <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* <value>|*]\n",
              name.c_str());
  return -1;
}

// Reads one component: none or "*" keeps the field; otherwise a decimal number, of which the
// component keeps the low bits. False when the text is not a number.
template <typename Field>
bool read_component(const char* text, Field& field) {
  if (!text || std::strcmp(text, "*") == 0) return true;
  uint32_t v = 0;
  if (k::string_to_u32(text, 10, v) != 0) return false;
  field = static_cast<Field>(v);
  return true;
}

}  // namespace

int cmd_color(const std::string& name, json_t* args) {
  int entry = colour_entry_of(arg_text(args, 0));
  if (entry < 0) return color_syntax(name);
  ColourTable copy = colour_table();
  k::HsvColour& c = copy.entries[entry];
  if (!read_component(arg_text(args, 1), c.hue) || !read_component(arg_text(args, 2), c.saturation) ||
      !read_component(arg_text(args, 3), c.value))
    return color_syntax(name);
  apply_colours(copy);
  const k::HsvColour& now = colour_table().entries[entry];
  colors_set_entry(entry);
  std::printf("%d %d %d\n", now.hue, now.saturation, now.value);
  k::colors_reset();
  return 0;
}

int cmd_opt(const std::string& name, json_t* args) {
  const char* option = arg_text(args, 0);
  const char* state = arg_text(args, 1);
  bool on = state && std::strcmp(state, "on") == 0;
  bool off = state && std::strcmp(state, "off") == 0;
  if (json_array_size(args) == 2 && option && (on || off)) {
    if (std::strcmp(option, "autocomplete") == 0) {
      set_autocomplete(on);
      return 0;
    }
    if (std::strcmp(option, "hint") == 0) {
      set_hints(on);
      return 0;
    }
  }
  std::printf("syntax: %s autocomplete|hint on|off", name.c_str());
  return -1;
}

int cmd_clear(const std::string&, json_t*) {
  // Erase the display, then the cursor to the top left.
  for (char c : {'\033', '[', '2', 'J', '\033', '[', 'H'}) std::putchar(c);
  return 0;
}
