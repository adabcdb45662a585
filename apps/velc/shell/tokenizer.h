// Splitting a typed shell line into words, with quotes, backslash escapes and "#" comments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"

// Splits `text` into its words: a JSON array of strings (none for a null text). Quotes ("..."
// or '...') keep blanks and do not split a word; a backslash protects a quote, a backslash or a
// "#"; "#" outside quotes starts a comment that runs to an unescaped newline.
//
// When `cursor` is 0 or more and `count` is given, `*count` receives the index of the word in
// which the byte position `cursor` stands: the number of words finished by a blank or "#" lying
// before it (completion cuts the line at the cursor and asks which word it is completing).
// A word whose bytes are not valid UTF-8 is left out.
k::Json tokenize_line(const char* text, int cursor = 0, int* count = nullptr);

// The words of `text` by the same rules, each as its bytes (UTF-8 or not, so that a caller can
// refuse a line rather than run it without a word). Command scripts split their lines with it,
// so that a script line means what the same line typed in the shell means.
std::vector<std::string> split_words(std::string_view text);

// A word of a line and where it stands in the line as typed: bytes [begin, end), its quotes and
// backslashes included.
struct WordSpan {
  std::string text;
  size_t begin;
  size_t end;
};

// The words of `text` by the same rules, each with its place in `text` (the recorder rewrites a
// line's paths where they were typed).
std::vector<WordSpan> split_word_spans(std::string_view text);
