// Tab and hints: the word under the cursor, the rule of its command's row, the keyword and
// device-mode rules, and where the typed fragment starts.
#include "shell/completion.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string_view>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "platform/text.h"
#include "datamodel/tree.h"
#include "shell/completion_rules.h"
#include "shell/tokenizer.h"

namespace {

using completion::begins_with;
using completion::Candidates;

// Offers each of `keywords` that begins with `word`, in the given order.
void add_keywords(Candidates& out, std::initializer_list<const char*> keywords,
                  const std::string& word) {
  for (const char* keyword : keywords) {
    if (begins_with(keyword, word)) out.add(keyword);
  }
}

// The modes the device can be put in: the enumeration of "Device.DeviceInfo.DeviceMode", found
// from the root whatever the current position (the cache fetches the levels it lacks). Empty
// when veld shows no such node or it has no enumeration.
std::vector<std::string> device_modes(Client& client) {
  std::vector<std::string> modes;
  if (!client.view.schema_root) return modes;
  cdpath p = client.view.current_path;
  if (cdpath_resolve_quiet(client, p, ":Device.DeviceInfo.DeviceMode") != 0) return modes;
  size_t i;
  json_t* mode;
  json_array_foreach(json_object_get(p.node->attributes.all.get(), "enum"), i, mode) {
    if (json_is_string(mode)) modes.emplace_back(json_string_value(mode), json_string_length(mode));
  }
  return modes;
}

// Offers each non-empty device mode that begins with `word`.
void add_modes(const std::vector<std::string>& modes, const std::string& word, Candidates& out) {
  for (const std::string& mode : modes) {
    if (!mode.empty() && begins_with(mode, word)) out.add(mode);
  }
}

// `reboot [-f] [<DeviceMode>]`, at any argument: "-f" until it stands on the line, and the
// device modes until one does (the word under the cursor counts as standing there).
void complete_reboot(Client& client, json_t* tokens, const std::string& word, Candidates& out) {
  std::vector<std::string> modes = device_modes(client);
  bool forced = false;
  bool mode_given = false;
  for (size_t i = 1; i < json_array_size(tokens); ++i) {
    const char* text = k::json_array_text(tokens, i);
    std::string_view token = text ? text : "";
    forced = forced || token == "-f";
    mode_given = mode_given || std::find(modes.begin(), modes.end(), token) != modes.end();
  }
  if (!forced && begins_with("-f", word)) out.add("-f");
  if (!mode_given) add_modes(modes, word, out);
  out.sort();
}

// The candidates for the argument `word` at `index` (1 or more) of a command whose row has the
// rule `kind`.
void complete_arguments(CompletionKind kind, Client& client, json_t* tokens, size_t index,
                        const std::string& word, Candidates& out) {
  using enum CompletionKind;
  switch (kind) {
    case kNone:
      return;
    case kPath:
      return completion::complete_paths(client, word, 0, out);
    case kObjectPath:
      return completion::complete_paths(client, word, kListObjectsOnly, out);
    case kWritablePath:
      return completion::complete_paths(client, word, kListWritableOnly, out);
    case kFirstPath:
      if (index == 1) completion::complete_paths(client, word, 0, out);
      return;
    case kMethodInput:
      if (index == 1)
        completion::complete_paths(client, word, 0, out);
      else if (const char* method = k::json_array_text(tokens, 1))
        completion::complete_method_inputs(client, word, method, 0, out);
      return;
    case kColourType:
      // In the colour table's order, as `color` lists them.
      if (index == 1) add_keywords(out, {"autocomplete", "hint", "prompt", "root-prompt"}, word);
      return;
    case kDebugMode:
      if (index == 1) add_keywords(out, {"disabled", "permanent", "temporary"}, word);
      return out.sort();
    case kDownload:
      if (index == 1) add_keywords(out, {"config", "file", "firmware"}, word);
      if (index == 2) completion::complete_files(2, tokens, true, out);
      return out.sort();
    case kRecord:
      if (index != 1) return;
      add_keywords(out, {"abort"}, word);
      return completion::complete_files(1, tokens, true, out);
    case kOption:
      if (index == 1) add_keywords(out, {"autocomplete", "hint", "strict"}, word);
      if (index == 2) add_keywords(out, {"on", "off"}, word);
      return out.sort();
    case kReboot:
      return complete_reboot(client, tokens, word, out);
    case kDeviceMode:
      if (index == 1) add_modes(device_modes(client), word, out);
      return out.sort();
    case kCommand:
      return completion::complete_files(index, tokens, false, out);
    case kFile:
      return completion::complete_files(index, tokens, true, out);
  }
}

// complete_line into `out`.
void collect(CommandTable table, Client& client, const std::string& line, size_t cursor,
             Candidates& out) {
  std::string before = line.substr(0, std::min(cursor, line.size()));
  int count = 0;
  k::Json tokens = tokenize_line(before.c_str(), static_cast<int>(before.size()), &count);
  size_t words = json_array_size(tokens.get());
  size_t index = static_cast<size_t>(count);  // words equals it when the cursor follows a blank
  const char* first = k::json_array_text(tokens.get(), 0);
  if (words == 0 || (words == 1 && index == 0)) {
    std::vector<std::string> names;
    command_complete_names(table, first, names);
    for (std::string& name : names) out.add(std::move(name));
    return;
  }
  const CommandEntry* e = command_find(table, first);
  if (!e) return;
  const char* word = index < words ? k::json_array_text(tokens.get(), index) : nullptr;
  complete_arguments(e->completion, client, tokens.get(), index, word ? word : "", out);
}

// Where the word under the cursor begins: after the last blank (or "#") outside quotes, as the
// tokenizer splits words.
size_t word_start(std::string_view text) {
  size_t start = 0;
  char quote = 0;
  bool escape = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (escape) {
      escape = false;
    } else if (c == '\\') {
      escape = true;
    } else if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (k::is_blank(c) || c == '#') {
      start = i + 1;
    }
  }
  return start;
}

// The fragment start that the typed text alone suggests (see completion.h).
size_t typed_fragment_start(std::string_view text) {
  constexpr size_t kNone = std::string_view::npos;
  size_t chosen = kNone;
  auto take_later = [&](size_t at) {
    if (at != kNone && (chosen == kNone || at > chosen)) chosen = at;
  };
  size_t equals = text.rfind('=');
  if (equals != kNone && equals + 1 < text.size() && text[equals + 1] == '"') ++equals;
  take_later(text.rfind('.'));
  take_later(equals);
  if (size_t slash = text.rfind('/'); slash != kNone) chosen = slash;
  for (size_t i = text.size(); i-- > 0;) {
    if (k::is_blank(text[i])) {
      take_later(i);
      break;
    }
  }
  return chosen == kNone ? 0 : chosen + 1;
}

// True when `text` begins with `fragment`, without regard to case.
bool begins_without_case(std::string_view text, std::string_view fragment) {
  return text.size() >= fragment.size() &&
         std::equal(fragment.begin(), fragment.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

std::vector<std::string> complete_line(CommandTable table, Client& client, const std::string& line,
                                       size_t cursor) {
  Candidates out;
  collect(table, client, line, cursor, out);
  return std::move(out.list());
}

size_t completion_fragment_start(const std::string& before_cursor,
                                 const std::vector<std::string>& candidates) {
  std::string_view text = before_cursor;
  size_t word = word_start(text);
  std::vector<size_t> starts = {word};
  for (const char* separators : {"\"'", "=", ".", "/"}) {
    size_t at = text.find_last_of(separators);
    if (at != std::string_view::npos && at >= word) starts.push_back(at + 1);
  }
  std::sort(starts.begin(), starts.end());
  for (size_t start : starts) {
    std::string_view fragment = text.substr(start);
    if (std::all_of(candidates.begin(), candidates.end(),
                    [&](const std::string& c) { return begins_without_case(c, fragment); }))
      return start;
  }
  return typed_fragment_start(text);
}

std::optional<std::string> hint_line(CommandTable table, Client& client, const std::string& line) {
  if (line.empty()) return std::nullopt;
  Candidates out(2);  // "exactly one" needs no more
  collect(table, client, line, line.size(), out);
  if (out.size() != 1) return std::nullopt;
  const std::string& candidate = out.list().front();
  size_t typed = line.size() - completion_fragment_start(line, out.list());
  return candidate.size() >= typed ? candidate.substr(typed) : candidate;
}
