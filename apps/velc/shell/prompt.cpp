#include "shell/prompt.h"

#include "datamodel/cdpath.h"
#include "entry/user.h"

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
