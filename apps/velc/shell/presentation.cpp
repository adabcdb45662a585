#include "shell/presentation.h"

#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace {

// The colour-table entry a type word selects, or -1.
int colour_entry_of(const char* type) {
  static const char* const kTypes[] = {"root-prompt", "prompt", "autocomplete", "hint"};
  for (int i = 0; i < k::kColourEntries; ++i)
    if (type && std::strcmp(type, kTypes[i]) == 0) return i;
  return -1;
}

int color_syntax(const std::string& name, FILE* out) {
  std::fprintf(out,
               "syntax: %s <prompt|root-prompt|autocomplete|hint> [<hue>|* <saturation>|* "
               "<value>|*]\n",
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

int cmd_color(Client& client, const std::string& name, json_t* args) {
  int entry = colour_entry_of(k::json_array_text(args, 0));
  if (entry < 0) return color_syntax(name, client.out);
  // Read into a copy, so that a bad component changes nothing.
  k::HsvColour c = client.colours.entries[entry];
  if (!read_component(k::json_array_text(args, 1), c.hue) ||
      !read_component(k::json_array_text(args, 2), c.saturation) ||
      !read_component(k::json_array_text(args, 3), c.value))
    return color_syntax(name, client.out);
  client.colours.entries[entry] = c;
  client.colours.set(entry, client.out);
  std::fprintf(client.out, "%d %d %d\n", c.hue, c.saturation, c.value);
  client.colours.reset(client.out);
  return 0;
}

namespace {

// "on" or "off" into `target`; false for any other word.
bool switch_to(const char* value, bool& target) {
  bool on = value && std::strcmp(value, "on") == 0;
  bool off = value && std::strcmp(value, "off") == 0;
  if (on || off) target = on;
  return on || off;
}

}  // namespace

int cmd_opt(Client& client, const std::string& name, json_t* args) {
  const char* option = k::json_array_text(args, 0);
  const char* value = k::json_array_text(args, 1);
  bool* target = nullptr;
  if (option && std::strcmp(option, "autocomplete") == 0) target = &client.editor.autocomplete;
  if (option && std::strcmp(option, "hint") == 0) target = &client.editor.hints;
  if (option && std::strcmp(option, "strict") == 0) target = &client.session.strict;
  if (json_array_size(args) != 2 || !target || !switch_to(value, *target)) {
    std::fprintf(client.out, "syntax: %s autocomplete|hint|strict on|off", name.c_str());
    return -1;
  }
  return 0;
}

int cmd_opt_request(Client& client, const std::string& name, json_t* args) {
  const char* option = k::json_array_text(args, 0);
  if (json_array_size(args) != 2 || !option || std::strcmp(option, "strict") != 0 ||
      !switch_to(k::json_array_text(args, 1), client.session.strict)) {
    std::fprintf(client.out, "syntax: %s strict on|off\n", name.c_str());
    return -1;
  }
  return 0;
}

int cmd_clear(Client& client, const std::string&, json_t*) {
  // Erase the display, then the cursor to the top left.
  for (char c : {'\033', '[', '2', 'J', '\033', '[', 'H'}) std::fputc(c, client.out);
  return 0;
}
