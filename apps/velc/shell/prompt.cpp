#include "shell/prompt.h"

#include <cstdlib>

#include "datamodel/cdpath.h"
#include "entry/user.h"
#include "platform/history.h"
#include "platform/line_editor.h"

namespace {

// The prompt buffer holds at most this many bytes.
constexpr size_t kPromptMax = 383;

std::string g_prompt = "velc:> ";
std::string g_record_tag;

}  // namespace

ColourTable& colour_table() {
  static ColourTable table{{{0, 100, 100}, {220, 78, 100}, {50, 100, 55}, {120, 100, 55}}};
  return table;
}

void colors_set_entry(int entry) { k::colors_set_hsv(colour_table().entries[entry]); }

void prompt_build() {
  const std::string* user = current_user();
  std::string p;
  if (user) p = *user + "@";
  p += "velc" + g_record_tag + ":" + current_path.text + "> ";
  if (p.size() > kPromptMax) p.resize(kPromptMax);
  g_prompt = std::move(p);
}

void prompt_set_tag(const char* name) {
  g_record_tag = name ? ("-" + std::string(name)).substr(0, 15) : std::string();
  prompt_build();
}

void prompt_set_continuation(bool on) {
  if (on)
    g_prompt = "> ";
  else
    prompt_build();
}

const std::string& prompt_text() { return g_prompt; }

std::string shell_history_path() {
  const char* path = std::getenv("VELC_HISTFILE");
  return path && *path ? path : "/tmp/.velc.hist";
}

void apply_colours(const ColourTable& table) {
  ColourTable& global = colour_table();
  if (&table != &global) global = table;
  const k::HsvColour& prompt =
      global.entries[system_access() ? kColourRootPrompt : kColourPrompt];
  k::line_editor_set_colors(prompt, global.entries[kColourHint], global.entries[kColourAutocomplete]);
}

void set_autocomplete(bool on) {
  k::line_editor_case_insensitive(true);
  // The shell's completer plugs in here; until it exists, "on" installs none (Tab offers
  // nothing), exactly as "off" does.
  (void)on;
  k::line_editor_set_autocomplete_cb(nullptr);
}

void set_hints(bool on) {
  // The shell's hint provider plugs in here; until it exists, "on" installs none.
  (void)on;
  k::line_editor_set_hint_cb(nullptr);
}

void line_editor_setup() {
  apply_colours(colour_table());
  set_autocomplete(true);
  set_hints(true);
  k::history_load(shell_history_path());
}

void line_editor_teardown() {
  set_autocomplete(false);
  set_hints(false);
  k::history_dump(shell_history_path(), -1);
}
