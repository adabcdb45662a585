#include "app/script_lines.h"

#include <climits>
#include <cstdlib>

#include "platform/text.h"
#include "shell/tokenizer.h"

namespace {

bool is_quote(char c) { return c == '\'' || c == '"'; }

// The number `text` begins with, read as atoi reads it, clamped to the range of int.
int leading_int(std::string_view text) {
  std::string copy(text);
  long v = std::strtol(copy.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

bool char_is_escaped(std::string_view text, size_t position) {
  size_t backslashes = 0;
  while (position > 0 && text[position - 1] == '\\') {
    --position;
    ++backslashes;
  }
  return backslashes % 2 == 1;
}

bool line_is_complete(std::string_view text) {
  if (text.empty()) return true;
  char open = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!is_quote(c) || char_is_escaped(text, i)) continue;
    if (open == 0)
      open = c;
    else if (c == open)
      open = 0;
  }
  if (text.back() == '\\' && !char_is_escaped(text, text.size() - 1)) return false;
  return open == 0;
}

std::string_view script_physical_line(std::string_view read) {
  size_t nul = read.find('\0');
  if (nul != std::string_view::npos) read = read.substr(0, nul);
  if (!read.empty() && read.back() == '\n') read.remove_suffix(1);
  return read;
}

std::optional<std::string> ScriptLineJoiner::add(std::string_view line) {
  ++lines_;
  if (!pending_) first_line_ = lines_;
  // The same decision as line_is_complete(text_ + line), from the state left by text_.
  char open = open_quote_;
  bool odd = odd_backslashes_;
  for (char c : line) {
    if (c == '\\') {
      odd = !odd;
      continue;
    }
    if (is_quote(c) && !odd) {
      if (open == 0) {
        open = c;
        quote_line_ = lines_;
      } else if (c == open) {
        open = 0;
      }
    }
    odd = false;
  }
  // An odd run of backslashes at the end means the last one is not escaped.
  bool complete = open == 0 && !odd;
  if (complete) {
    std::string logical = std::move(text_);
    logical.append(line);
    text_.clear();
    pending_ = false;
    open_quote_ = 0;
    odd_backslashes_ = false;
    return logical;
  }
  if (!line.empty() && line.back() == '\\') {
    line.remove_suffix(1);
    odd = !odd;  // the run at the end is one shorter
  }
  text_.append(line);
  pending_ = true;
  open_quote_ = open;
  odd_backslashes_ = odd;
  return std::nullopt;
}

ScriptLine script_line_parse(std::string_view text) {
  ScriptLine out;
  // "echo" and "sleep" are the script's own words: they take the rest of the line as written.
  size_t start = 0;
  while (start < text.size() && k::is_blank(text[start])) ++start;
  size_t end = start;
  while (end < text.size() && !k::is_blank(text[end])) ++end;
  std::string_view first = text.substr(start, end - start);
  if (first == "echo" || first == "sleep") {
    // The rest begins after the one separator that ended the word.
    std::string_view rest = end < text.size() ? text.substr(end + 1) : std::string_view();
    if (first == "echo") {
      out.kind = ScriptLine::Kind::kEcho;
      out.echo = rest;
    } else {
      out.kind = ScriptLine::Kind::kSleep;
      out.seconds = leading_int(rest);
    }
    return out;
  }
  out.words = split_words(text);
  if (!out.words.empty()) out.kind = ScriptLine::Kind::kCommand;
  return out;
}
