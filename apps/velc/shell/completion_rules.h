// The rules behind complete_line, shared by its source files: each appends the candidates for
// the word under the cursor to a Candidates list. Private to completion.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "shell/client.h"
#include "platform/json.h"

namespace completion {

// The candidates being collected. A hint only asks whether there is exactly one, so it collects
// with a limit of two and every rule stops early once the list is full: the hint after a path
// into a table of 50,000 instances then costs two entries, not 50,000.
class Candidates {
 public:
  explicit Candidates(size_t limit = std::numeric_limits<size_t>::max()) : limit_(limit) {}

  bool full() const { return list_.size() >= limit_; }
  // Appends one candidate unless the list is full.
  void add(std::string candidate) {
    if (!full()) list_.push_back(std::move(candidate));
  }
  // Makes room for `more` candidates at once (within the limit): a table's instances are many.
  void reserve(size_t more) { list_.reserve(list_.size() + std::min(more, room())); }
  // Sorts the whole list in ascending byte order.
  void sort() { std::sort(list_.begin(), list_.end()); }
  size_t size() const { return list_.size(); }
  // How many more candidates the list takes.
  size_t room() const { return limit_ - list_.size(); }
  std::vector<std::string>& list() { return list_; }

 private:
  size_t limit_;
  std::vector<std::string> list_;
};

// True when `text` begins with `word`, byte for byte (the empty word begins everything).
inline bool begins_with(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
}

// Paths below the current position, or after "<path>=" the parameter's values, for `word`;
// `options` are schema_list_children's kListObjectsOnly or kListWritableOnly (or 0). Queued
// change events are applied to the cache first. A path that does not resolve, and a read-only
// parameter, give nothing.
void complete_paths(Client& client, const std::string& word, int options, Candidates& out);
// The input arguments of the method at `method_path` (and after "<argument>=" their values),
// as complete_paths offers them below the method's "#input". Nothing when the method does not
// resolve or has no inputs.
void complete_method_inputs(Client& client, const std::string& word, const std::string& method_path,
                            int options, Candidates& out);
// Local names for the word at `index` of `tokens` (the command word is 0): with `file_flag`, or
// from the second argument on, the entries of the word's folder (or of the working folder);
// otherwise, for a program's name, the executables along PATH. Folders end with "/". The whole
// list is sorted.
void complete_files(size_t index, json_t* tokens, bool file_flag, Candidates& out);

}  // namespace completion
