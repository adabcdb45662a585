#include "shell/record.h"

#include <cstdio>
#include <optional>

#include "datamodel/cdpath.h"
#include "datamodel/resolve.h"
#include "platform/history.h"
#include "platform/json.h"
#include "shell/prompt.h"
#include "shell/tokenizer.h"

namespace {

// The path `typed` names from the current position, spelt for a request; none when it does not
// resolve.
std::optional<std::string> resolved(Client& client, const std::string& typed) {
  cdpath copy = client.view.current_path;
  if (cdpath_resolve_quiet(client, copy, typed.c_str()) != 0) return std::nullopt;
  return cdpath_request_text(copy);
}

// Which arguments of a row's command are paths, by the rule its completion follows: the first
// only, or every one (options of `ls`, which begin with "-", aside). For `set` the path is the
// part before "=".
bool is_path_argument(const CommandEntry& row, size_t index, const std::string& word) {
  switch (row.completion) {
    case CompletionKind::kFirstPath:
    case CompletionKind::kMethodInput:
      return index == 0;
    case CompletionKind::kPath:
    case CompletionKind::kObjectPath:
      return !word.starts_with("-");
    case CompletionKind::kWritablePath:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool recording_active(const RecordState& record) { return record.active; }

void record_start(RecordState& record, const std::string& file_name) {
  record.active = true;
  record.lines.clear();
  record.file_name = file_name;
}

void record_stop(RecordState& record) {
  record.active = false;
  record.lines.clear();
}

void record_finish(RecordState& record) {
  std::string why;
  k::history_file_write(record.file_name, record.lines, why);
  record_stop(record);
}

void record_line(RecordState& record, const std::string& text) {
  if (record.active) record.lines.push_back(text);
}

std::string record_shell_line(CommandTable table, Client& client, const std::string& line) {
  const std::vector<WordSpan> words = split_word_spans(line);
  if (words.empty()) return line;  // a comment, or blanks
  const CommandEntry* row = command_find_request(table, words[0].text.c_str());
  if (!row) return "# " + line;
  if (!row->needs_cache) return line;
  // Each path is replaced where it was typed, so that the rest of the line (blanks, quotes, a
  // comment) stays; `shift` is how far the replacements so far moved what follows them.
  std::string out = line;
  bool has_path = false;
  ptrdiff_t shift = 0;
  for (size_t i = 1; i < words.size(); ++i) {
    const WordSpan& word = words[i];
    if (!is_path_argument(*row, i - 1, word.text)) continue;
    has_path = true;
    std::string path = word.text.substr(0, row->completion == CompletionKind::kWritablePath
                                               ? word.text.find('=')
                                               : std::string::npos);
    // A path typed with quotes or escapes is left as it is.
    if (path.empty() || line.compare(word.begin, path.size(), path) != 0) continue;
    if (std::optional<std::string> full = resolved(client, path)) {
      out.replace(word.begin + shift, path.size(), *full);
      shift += static_cast<ptrdiff_t>(full->size()) - static_cast<ptrdiff_t>(path.size());
    }
  }
  if (!has_path && row->at_position && !client.view.current_path.text.empty())
    out.insert(words.back().end, " " + cdpath_request_text(client.view.current_path));
  return out;
}

std::string record_prompt_tag(const RecordState& record) {
  return record.active ? prompt_tag("record") : std::string();
}

int cmd_record(Client& client, const std::string& name, json_t* args) {
  if (json_array_size(args) != 1) {
    std::fprintf(client.out, "syntax: %s <filename>|abort\n", name.c_str());
    return -1;
  }
  const char* text = json_string_value(json_array_get(args, 0));
  std::string word = text ? text : "";
  if (!client.record) {
    // The configuration script runs before any shell: there is no session to record.
    std::fprintf(client.out, "%s: only the interactive shell can be recorded.\n", name.c_str());
    return -1;
  }
  RecordState& record = *client.record;
  if (word == "abort") {
    if (!recording_active(record)) {
      std::fprintf(client.out, "%s: no record found.\n", name.c_str());
      return -1;
    }
    record_stop(record);
    return 0;
  }
  if (recording_active(record)) {
    std::fprintf(client.out, "%s: already recording.\n", name.c_str());
    return -1;
  }
  std::string why;
  if (word.size() > kRecordNameMax || k::history_file_touch(word, why) != 0) {
    std::fprintf(client.out, "%s: can't create record file %s.\n", name.c_str(), word.c_str());
    return -1;
  }
  record_start(record, word);
  return 0;
}
