// Fuzzes the line handling of command scripts: joining physical lines and splitting logical ones.
//
// Input: the text of a script; its lines are the pieces between "\n" (the last one without a
// newline too), each made a physical line by script_physical_line. Properties checked:
// - the joiner decides each line exactly as line_is_complete does on the text joined so far
//   (the pieces before it, each continued one without a final backslash, and this line), and a
//   completed logical line is that text;
// - line_is_complete and char_is_escaped agree with a plain count of the backslashes before
//   every quote and at the end;
// - the words of a command line are the shell tokenizer's words of the same line, none empty;
//   on a line without quotes, backslashes or "#", joined with single blanks they are the line
//   with its blanks squeezed; a line whose first word is "echo" or "sleep" runs no command;
// - an echo's text is a suffix of the logical line; a line that begins with "#" or is empty
//   asks for nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/script_lines.h"
#include "check.h"
#include "platform/text.h"
#include "shell/tokenizer.h"

namespace {

bool separator(char c) { return k::is_blank(c); }

// The words of a line without quotes, backslashes or "#", by a plain reading: runs of
// non-separators.
std::string squeezed(std::string_view text) {
  std::string out, word;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !separator(text[i])) {
      word.push_back(text[i]);
      continue;
    }
    if (word.empty()) continue;
    if (word[0] == '#') break;
    if (!out.empty()) out.push_back(' ');
    out += word;
    word.clear();
  }
  return out;
}

// Completeness by a second reading: the open quote and the parity of the backslash run.
bool complete_by_count(std::string_view text) {
  char open = 0;
  size_t run = 0;
  for (char c : text) {
    if (c == '\\') {
      ++run;
      continue;
    }
    if ((c == '\'' || c == '"') && run % 2 == 0) {
      if (!open)
        open = c;
      else if (open == c)
        open = 0;
    }
    run = 0;
  }
  return open == 0 && run % 2 == 0;
}

std::string first_word(std::string_view text) {
  std::string words = squeezed(text);
  return words.substr(0, words.find(' '));
}

void check_parse(const std::string& text) {
  ScriptLine line = script_line_parse(text);
  if (text.empty() || text[0] == '#') {
    FUZZ_CHECK(line.kind == ScriptLine::Kind::kNothing, "a comment or empty line asks for %d",
               static_cast<int>(line.kind));
    return;
  }
  switch (line.kind) {
    case ScriptLine::Kind::kEcho:
      FUZZ_CHECK(text.size() >= line.echo.size() &&
                     text.compare(text.size() - line.echo.size(), line.echo.size(), line.echo) == 0,
                 "echo text is no suffix of the line");
      FUZZ_CHECK(first_word(text) == "echo", "echo from a line without it");
      break;
    case ScriptLine::Kind::kSleep:
      FUZZ_CHECK(first_word(text) == "sleep", "sleep from a line without it");
      break;
    case ScriptLine::Kind::kNothing:
      FUZZ_CHECK(split_words(text).empty(), "words were dropped");
      break;
    case ScriptLine::Kind::kCommand: {
      // The words are the shell's words of the same line.
      FUZZ_CHECK(line.words == split_words(text), "words differ from the shell's");
      std::string words;
      for (const auto& w : line.words) {
        FUZZ_CHECK(!w.empty(), "an empty word");
        if (!words.empty()) words.push_back(' ');
        words += w;
      }
      std::string first = first_word(text);
      FUZZ_CHECK(first != "echo" && first != "sleep", "a command from a %s line", first.c_str());
      // Without quotes, escapes or comments the words are the plain reading's.
      if (text.find_first_of("'\"\\#") == std::string::npos)
        FUZZ_CHECK(words == squeezed(text), "words <%s>, line <%s>", words.c_str(),
                   squeezed(text).c_str());
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  ScriptLineJoiner joiner;
  std::string joined;  // the reference: the pieces of the open logical line
  while (!input.empty()) {
    size_t nl = input.find('\n');
    std::string_view read = input.substr(0, nl == std::string_view::npos ? input.size() : nl + 1);
    input.remove_prefix(read.size());
    std::string_view line = script_physical_line(read);
    FUZZ_CHECK(line.find('\0') == std::string_view::npos, "a NUL byte in a physical line");

    std::string whole = joined + std::string(line);
    bool complete = line_is_complete(whole);
    FUZZ_CHECK(complete == complete_by_count(whole), "line_is_complete %d on <%s>", complete,
               whole.c_str());
    std::optional<std::string> text = joiner.add(line);
    FUZZ_CHECK(text.has_value() == complete, "joiner %d, line_is_complete %d on <%s>",
               text.has_value(), complete, whole.c_str());
    FUZZ_CHECK(joiner.pending() == !complete, "pending after a %s line",
               complete ? "complete" : "continued");
    if (!complete) {
      if (!line.empty() && line.back() == '\\') line.remove_suffix(1);
      joined += line;
      continue;
    }
    FUZZ_CHECK(*text == whole, "logical line <%s>, expected <%s>", text->c_str(), whole.c_str());
    joined.clear();
    check_parse(*text);
  }
  return 0;
}
