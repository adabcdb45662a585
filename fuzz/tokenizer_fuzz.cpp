// Fuzzes the shell's line tokenizer, with and without a cursor.
//
// Input: the typed line (up to its first NUL byte). Properties checked:
// - the words are non-empty JSON strings, the same whatever the cursor;
// - the count of words before the cursor is 0 at the start, never falls as the cursor moves
//   right, and is never more than the blanks and "#" bytes before the cursor;
// - on a line without quotes, backslashes or "#", the words are exactly the runs of non-blank
//   bytes (those that are UTF-8), and the count is the number of runs ended before the cursor;
// - quoting every word again (each in '...', with \ before ' " \ and #) and tokenizing the
//   quoted line gives the same words back, as completion relies on when it inserts a word.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "platform/text.h"
#include "shell/tokenizer.h"

namespace {

using Words = std::vector<std::string>;

Words words_of(const k::Json& array) {
  FUZZ_CHECK(json_is_array(array.get()), "tokenize_line gave no array");
  Words out;
  size_t i;
  json_t* v;
  json_array_foreach(array.get(), i, v) {
    FUZZ_CHECK(json_is_string(v), "word %zu is not a string", i);
    FUZZ_CHECK(json_string_length(v) > 0, "word %zu is empty", i);
    out.emplace_back(json_string_value(v), json_string_length(v));
  }
  return out;
}

std::string joined(const Words& words) {
  std::string out;
  for (const auto& w : words) out += "[" + w + "]";
  return out;
}

// The words and counts of a line with no quote, backslash or "#": runs of non-blank bytes.
void check_plain_line(const std::string& line, const Words& words,
                      const std::vector<int>& cursors, const std::vector<int>& counts) {
  Words runs;
  std::vector<size_t> run_ends;  // the position of the blank that ended each run
  std::string run;
  for (size_t pos = 0; pos <= line.size(); ++pos) {
    if (pos < line.size() && !k::is_blank(line[pos])) {
      run.push_back(line[pos]);
      continue;
    }
    if (run.empty()) continue;
    if (pos < line.size()) run_ends.push_back(pos);
    if (k::json_str(run)) runs.push_back(run);  // a run that is not UTF-8 is no word
    run.clear();
  }
  FUZZ_CHECK(words == runs, "words %s, blank-separated runs %s", joined(words).c_str(),
             joined(runs).c_str());
  for (size_t i = 0; i < cursors.size(); ++i) {
    int ended = static_cast<int>(std::count_if(run_ends.begin(), run_ends.end(),
                                               [&](size_t e) { return e < size_t(cursors[i]); }));
    FUZZ_CHECK(counts[i] == ended, "cursor %d: count %d, runs ended before it %d", cursors[i],
               counts[i], ended);
  }
}

std::string quoted(const Words& words) {
  std::string line;
  for (const auto& w : words) {
    if (!line.empty()) line.push_back(' ');
    line.push_back('\'');
    for (char c : w) {
      if (c == '\'' || c == '"' || c == '\\' || c == '#') line.push_back('\\');
      line.push_back(c);
    }
    line.push_back('\'');
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line.resize(line.find('\0') == std::string::npos ? size : line.find('\0'));
  const int len = static_cast<int>(line.size());

  const Words words = words_of(tokenize_line(line.c_str()));

  // Cursors: the start, the end, past the end, and three taken from the input's own bytes.
  std::vector<int> cursors = {0, len, len + 1};
  for (size_t i = 0; i < 3 && i < size; ++i) cursors.push_back(len ? data[size - 1 - i] % (len + 1) : 0);
  std::sort(cursors.begin(), cursors.end());
  std::vector<int> counts;
  for (int cursor : cursors) {
    int count = -7;
    Words with_cursor = words_of(tokenize_line(line.c_str(), cursor, &count));
    FUZZ_CHECK(with_cursor == words, "cursor %d changed the words", cursor);
    counts.push_back(count);
  }
  int count = -7;
  tokenize_line(line.c_str(), -1, &count);
  FUZZ_CHECK(count == -7, "a negative cursor set the count to %d", count);

  int separators_before = 0;  // blanks and "#" bytes: the only bytes that end a word
  for (size_t i = 0, pos = 0; i < cursors.size(); ++i) {
    for (; pos < line.size() && int(pos) < cursors[i]; ++pos)
      separators_before += k::is_blank(line[pos]) || line[pos] == '#';
    FUZZ_CHECK(counts[i] >= 0 && counts[i] <= separators_before,
               "cursor %d: count %d with %d blanks and '#' before it", cursors[i], counts[i],
               separators_before);
    if (i > 0)
      FUZZ_CHECK(counts[i] >= counts[i - 1], "the count fell from %d to %d between cursors %d and %d",
                 counts[i - 1], counts[i], cursors[i - 1], cursors[i]);
  }
  FUZZ_CHECK(counts[0] == 0, "cursor 0: count %d", counts[0]);

  if (line.find_first_of("'\"\\#") == std::string::npos)
    check_plain_line(line, words, cursors, counts);

  std::string requoted = quoted(words);
  Words again = words_of(tokenize_line(requoted.c_str()));
  FUZZ_CHECK(again == words, "quoted line <%s> gives %s, not %s", requoted.c_str(),
             joined(again).c_str(), joined(words).c_str());
  return 0;
}
