#include "shell/line_source.h"

#include <unistd.h>

#include <cstdio>

#include "platform/printable.h"

LineSource::LineSource() {
  if (k::line_editor_suits_input())
    editor_.emplace();
  else
    echo_ = !isatty(STDIN_FILENO);
}

void LineSource::show(const std::string& prompt, const k::HsvColour& colour,
                      const k::ColourTable& colours) {
  if (editor_) {
    editor_->set_colours(colours.entries[k::kColourAutocomplete], colours.entries[k::kColourHint],
                         colours.enabled);
    editor_->show(prompt, colour, colours.enabled);
    return;
  }
  if (prompt_shown_) return;
  if (colours.enabled)
    std::printf("%s%s\033[0m", k::hsv_sequence(colour).c_str(), prompt.c_str());
  else
    std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  prompt_shown_ = true;
}

void LineSource::hide() {
  if (editor_) editor_->hide();
  prompt_shown_ = false;  // output follows; the prompt is written again below it
}

void LineSource::cancel() {
  if (editor_) editor_->clear();
  plain_.clear();
  prompt_shown_ = false;
  // A terminal read plainly echoed the "^C" itself.
  std::puts(!editor_ && !echo_ ? "" : "^C");
  std::fflush(stdout);
}

std::optional<std::string> LineSource::read(bool& ended, bool escape) {
  if (editor_) {
    int key = k::line_editor_read_key();
    if (key == k::kNoKey) return std::nullopt;  // flushed by Ctrl-C: the caller sees its flag
    std::optional<std::string> line = editor_->feed(key);
    ended = editor_->input_ended();
    return line;
  }
  std::optional<std::string> line = plain_.read_available();
  ended = plain_.ended();
  if (line || ended) prompt_shown_ = false;
  if (line && echo_) {
    k::put_text(*line, escape);
    std::putchar('\n');
  }
  return line;
}
