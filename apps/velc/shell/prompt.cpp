#include "shell/prompt.h"

#include <cstdlib>

namespace {

// The prompt holds at most this many bytes.
constexpr size_t kPromptMax = 383;
// A tag holds at most this many bytes.
constexpr size_t kTagMax = 15;

}  // namespace

std::string prompt_text(const Session& session, const cdpath& position, const std::string& tag) {
  std::string p;
  if (session.user) p = *session.user + "@";
  p += "velc" + tag + ":" + position.text + "> ";
  if (p.size() > kPromptMax) p.resize(kPromptMax);
  return p;
}

std::string prompt_tag(std::string_view name) {
  std::string tag = "-" + std::string(name);
  if (tag.size() > kTagMax) tag.resize(kTagMax);
  return tag;
}

const k::HsvColour& prompt_colour(const Session& session, const k::ColourTable& colours) {
  return colours.entries[session.system_access ? k::kColourRootPrompt : k::kColourPrompt];
}

std::string shell_history_path() {
  const char* path = std::getenv("VELC_HISTFILE");
  return path && *path ? path : "/tmp/.velc.hist";
}
