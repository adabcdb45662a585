#include "shell/tokenizer.h"

#include <string>

#include "platform/text.h"

namespace {

// The scan of one line: the words finished, the word being collected and the scanner's flags.
struct Scanner {
  std::vector<WordSpan> words;
  std::string word;
  size_t begin = std::string::npos;  // where the word being collected began, once it has
  char quote = 0;                    // the open quote character, or 0
  bool escape = false;
  bool comment = false;

  // Ends the word being collected at byte `end`; adds it when it is not empty. True when a word
  // was added.
  bool finish_word(size_t end) {
    const size_t start = begin;
    begin = std::string::npos;
    if (word.empty()) return false;
    words.push_back({std::move(word), start, end});
    word.clear();
    return true;
  }

  // An ordinary byte at `pos`; true when it finished a word (an unquoted blank after some
  // letters).
  bool ordinary(char c, size_t pos) {
    escape = false;
    if (quote) {
      word.push_back(c);
      return false;
    }
    if (k::is_blank(c)) return finish_word(pos);
    word.push_back(c);
    return false;
  }
};

// Splits `text`; with `count`, counts the words finished by a byte before `cursor`.
std::vector<WordSpan> scan(std::string_view text, int cursor, int* count) {
  const bool counting = cursor >= 0 && count != nullptr;
  if (counting) *count = 0;
  Scanner s;
  // Counts a word finished by the byte at `pos` when that byte lies before the cursor.
  auto count_finished = [&](bool finished, size_t pos) {
    if (counting && finished && pos < static_cast<size_t>(cursor)) ++*count;
  };

  for (size_t pos = 0; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (s.comment) {
      if (c == '\\') {
        s.escape = true;
      } else if (c == '\n') {
        // An escaped newline continues the comment onto the next line.
        if (!s.escape) s.comment = false;
        s.escape = false;
      }
      continue;
    }
    // A word begins at its first byte that is neither a blank nor a comment's "#" (a quote or a
    // backslash included).
    if (s.begin == std::string::npos && !s.escape && !k::is_blank(c) && c != '#') s.begin = pos;
    if (s.escape) {
      // Only a quote, a backslash or "#" is protected; before anything else the backslash stays.
      if (c != '\'' && c != '"' && c != '\\' && c != '#') s.word.push_back('\\');
      count_finished(s.ordinary(c, pos), pos);
      continue;
    }
    if (c == '#') {
      if (s.quote) {
        s.word.push_back(c);
      } else {
        count_finished(s.finish_word(pos), pos);
        s.comment = true;
      }
      continue;
    }
    if (c == '\'' || c == '"') {
      if (!s.quote)
        s.quote = c;
      else if (s.quote == c)
        s.quote = 0;
      else
        s.word.push_back(c);
      continue;
    }
    if (c == '\\') {
      s.escape = true;
      continue;
    }
    count_finished(s.ordinary(c, pos), pos);
  }
  // A backslash left pending inside a comment belongs to the comment and makes no word.
  if (s.escape && !s.comment) s.word.push_back('\\');
  s.finish_word(text.size());
  return std::move(s.words);
}

}  // namespace

k::Json tokenize_line(const char* text, int cursor, int* count) {
  if (!text) return {};
  k::Json words = k::Json::take(json_array());
  for (const WordSpan& word : scan(text, cursor, count)) {
    // A word that is not valid UTF-8 cannot be a JSON string: it is dropped.
    if (json_t* s = json_stringn(word.text.data(), word.text.size()))
      json_array_append_new(words.get(), s);
  }
  return words;
}

std::vector<std::string> split_words(std::string_view text) {
  std::vector<std::string> words;
  for (WordSpan& word : scan(text, -1, nullptr)) words.push_back(std::move(word.text));
  return words;
}

std::vector<WordSpan> split_word_spans(std::string_view text) { return scan(text, -1, nullptr); }
