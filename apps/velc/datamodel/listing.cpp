#include "datamodel/listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "link/exchange.h"
#include "platform/interrupt.h"
#include "platform/printable.h"
#include "datamodel/show_list.h"
#include "datamodel/tree.h"
#include "render/result_report.h"

namespace {

// Sizes of the row fields, terminating zero included, as the long listing has always had them.
constexpr size_t kTypeSize = 50;
constexpr size_t kAccessSize = 50;
constexpr size_t kFlagsSize = 20;
constexpr size_t kPermsSize = 20;
constexpr size_t kNameSize = 257;

// The long form's request waits at most this long.
constexpr int kLongTimeoutMs = 1000;

// Cuts `s` to at most `size - 1` bytes, backing off so that no UTF-8 character is split.
void cut_to(std::string& s, size_t size) {
  size_t max = size - 1;
  if (s.size() <= max) return;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
}

// A bound as text; reals are shown by their integer part.
std::string bound_text(json_t* v) {
  long long n =
      json_is_integer(v) ? json_integer_value(v) : static_cast<long long>(json_number_value(v));
  return std::to_string(n);
}

// "[min:max]", "[min:]", "[:max]" for values; "(min:max)", "(min)", "(max)" for lengths.
std::string range_text(json_t* attrs, const char* min_key, const char* max_key, bool length) {
  json_t* min = json_object_get(attrs, min_key);
  json_t* max = json_object_get(attrs, max_key);
  if (!min && !max) return {};
  std::string open = length ? "(" : "[", close = length ? ")" : "]";
  if (min && max) return open + bound_text(min) + ":" + bound_text(max) + close;
  if (length) return open + bound_text(min ? min : max) + close;
  return min ? open + bound_text(min) + ":" + close : open + ":" + bound_text(max) + close;
}

std::string flags_text(json_t* attrs, const std::string& type) {
  std::string flags;
  if (type == "object") flags += 'O';
  if (json_is_true(json_object_get(attrs, "multi"))) flags += 'M';
  if (json_is_true(json_object_get(attrs, "ordered"))) flags += 'O';
  if (json_is_true(json_object_get(attrs, "runtime"))) flags += 'R';
  if (json_is_true(json_object_get(attrs, "unique"))) flags += 'U';
  return flags;
}

// The strings of a JSON array, sorted by byte order.
std::vector<std::string> sorted_words(json_t* list) {
  std::vector<std::string> words;
  size_t i;
  json_t* w;
  json_array_foreach(list, i, w) {
    if (json_is_string(w)) words.emplace_back(json_string_value(w), json_string_length(w));
  }
  std::sort(words.begin(), words.end());
  return words;
}

void show_words(const std::vector<std::string>& words, int options, bool escape, FILE* out) {
  k::Json list = k::Json::take(json_array());
  if (options & kLsDot) json_array_append_new(list.get(), json_string("."));
  for (const auto& w : words) json_array_append_new(list.get(), json_stringn(w.data(), w.size()));
  k::show_list(list.get(), escape, out);
}

// The names veld lists below `path` (one level), or none when it gives no result. A `probe`
// that fails is no failed request: another form of the path is tried next.
k::Json ask_names(Session& session, const std::string& path, k::Message& m, bool probe = false) {
  m = k::msg_get_parameter_names(path, true);
  if (probe)
    request_probe(session, m, -1);
  else
    request_exchange(session, m, -1);
  if (!reply_ok(m)) return {};
  return k::tr_parameter_names(json_object_get(m.result.get(), "ParameterList"));
}

// Short form without a schema cache (request mode): veld's names below the path as typed. A
// path without its trailing dot is tried as an object first, then as a parameter, which lists
// itself.
int list_short_uncached(CommandContext& client, const char* path, int options) {
  std::string p = path && *path ? path : ".";
  bool dotted = p.back() == '.';
  k::Message m;
  k::Json names = ask_names(client.session, dotted ? p : p + ".", m, !dotted);
  if (!names && !dotted && ask_names(client.session, p, m)) {
    names = k::Json::take(json_array());
    json_array_append_new(names.get(), k::json_str(p).release());
    options &= ~kLsDot;
  }
  if (!names) {
    report_result(m, client.colours, client.out);
    return -1;
  }
  show_words(sorted_words(names.get()), options, client.colours.escape, client.out);
  return 0;
}

int list_short(CommandContext& client, cdpath& p, const char* path, int options) {
  bool parameter = !p.text.empty() && p.node && k::tr_type_is_parameter(p.node->attributes.type);
  if (parameter) {
    show_words(path ? std::vector<std::string>{path} : std::vector<std::string>{},
               options & ~kLsDot, client.colours.escape, client.out);
    return 0;
  }
  std::string filter = path ? path : "";
  if (!filter.empty() && filter.back() == '.') filter.pop_back();
  k::Json list =
      schema_list_children(client, p, filter.empty() ? nullptr : filter.c_str(), kListMarkObjects);
  show_words(sorted_words(list.get()), options, client.colours.escape, client.out);
  return 0;
}

int list_long(CommandContext& client, const std::string& base) {
  k::Json names = k::Json::take(json_array());
  json_array_append_new(names.get(), json_string((base + ".").c_str()));
  k::Message m = k::msg_get_parameter_attributes(names, 1);
  request_exchange(client.session, m, kLongTimeoutMs);
  std::vector<LsRow> rows;
  if (reply_ok(m)) {
    size_t i;
    json_t* entry;
    json_array_foreach(json_object_get(m.result.get(), "ParameterList"), i, entry) {
      k::interrupt_check();
      rows.push_back(ls_repack_list(entry, base.size()));
    }
  }
  std::stable_sort(rows.begin(), rows.end(), ls_row_before);
  ls_print_rows(rows, client.colours, client.out);
  return 0;
}

}  // namespace

LsRow ls_repack_list(json_t* entry, size_t prefix_len) {
  LsRow row{"-", "-", "", "", ""};
  std::string full = k::json_text(entry, "Name");
  std::string rest = full.size() > prefix_len ? full.substr(prefix_len) : std::string();
  if (!rest.empty() && rest.front() == '.') rest.erase(0, 1);
  row.name = rest.empty() ? "." : rest;

  json_t* attrs = json_object_get(entry, "Attributes");
  if (json_is_object(attrs)) {
    row.type = k::json_text(attrs, "type", "-");
    row.access = json_is_true(json_object_get(attrs, "const")) ? "RO" : "RW";
    row.perms = k::json_text(attrs, "perms");
    row.flags = flags_text(attrs, row.type);
    row.type += range_text(attrs, "minInclusive", "maxInclusive", false);
    row.type += range_text(attrs, "minLength", "maxLength", true);
  }
  if (row.flags.empty()) row.flags = "-";
  cut_to(row.type, kTypeSize);
  cut_to(row.access, kAccessSize);
  cut_to(row.flags, kFlagsSize);
  cut_to(row.perms, kPermsSize);
  cut_to(row.name, kNameSize);
  return row;
}

bool ls_row_before(const LsRow& a, const LsRow& b) {
  bool a_object = a.type == "object", b_object = b.type == "object";
  if (a_object != b_object) return a_object;
  return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
}

void ls_print_rows(const std::vector<LsRow>& rows, const k::ColourTable& colours, FILE* out) {
  size_t w1 = 4, w2 = 6, w3 = 5, w4 = 5;
  for (const LsRow& r : rows) {
    w1 = std::max(w1, r.type.size());
    w2 = std::max(w2, r.access.size());
    w3 = std::max(w3, r.perms.size());
    w4 = std::max(w4, r.flags.size());
  }
  int c1 = static_cast<int>(w1 + 1), c2 = static_cast<int>(w2 + 1);
  int c3 = static_cast<int>(w3 + 1), c4 = static_cast<int>(w4 + 1);
  std::fprintf(out, "%-*s %-*s %-*s %-*s %s\n", c1, "Type", c2, "Access", c3, "Perms", c4, "Flags",
              "Name");
  for (const LsRow& r : rows) {
    k::interrupt_check();  // Ctrl-C stops a long listing at the next line
    std::string type = colours.escape ? k::escape_controls(r.type) : r.type;
    std::string perms = colours.escape ? k::escape_controls(r.perms) : r.perms;
    std::fprintf(out, "%-*s %-*s %-*s %-*s ", c1, type.c_str(), c2, r.access.c_str(), c3,
                perms.c_str(), c4, r.flags.c_str());
    colours.set(k::kColourAutocomplete, out);
    k::put_text(r.name, colours.escape, out);
    std::fputc('\n', out);
    colours.reset(out);
  }
}

int ls_list(CommandContext& client, const std::string& name, const char* path, int options) {
  cdpath copy = client.view.current_path;
  bool cached = copy.node != nullptr;
  if (path && resolve_argument(client, copy, name, path, NoSuchNode::kWithoutPeriod) != 0)
    return -1;
  if (options & kLsLong) {
    // Without a cache the path goes as typed; either way the request names it as an object.
    std::string base = cached || !path ? copy.text : std::string(path);
    if (!base.empty() && base.back() == '.') base.pop_back();
    return list_long(client, base);
  }
  if (!cached) return list_short_uncached(client, path, options);
  return list_short(client, copy, path, options);
}

int cmd_ls(CommandContext& client, const std::string& name, json_t* args) {
  int options = 0;
  std::vector<std::string> paths;
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    if (!json_is_string(arg)) continue;
    const char* word = json_string_value(arg);
    if (word[0] != '-') {
      paths.emplace_back(word);
      continue;
    }
    for (const char* c = word + 1; *c; ++c) {
      if (*c == 'l') options |= kLsLong;
      if (*c == 'a') options |= kLsDot;
    }
  }
  if (paths.size() < 2)
    return ls_list(client, name, paths.empty() ? nullptr : paths[0].c_str(), options);
  for (const std::string& p : paths) {
    std::fprintf(client.out, "%s:\n", p.c_str());
    ls_list(client, name, p.c_str(), options);
    std::fputs("\n", client.out);
  }
  return 0;
}
