#include "render/tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/interrupt.h"
#include "platform/printable.h"
#include "render/value_text.h"

namespace {

// The pieces of the drawing (UTF-8).
constexpr const char* kColumnMore = "\u2502   ";
constexpr const char* kColumnNone = "    ";
constexpr const char* kConnectorMiddle = "\u251c";
constexpr const char* kConnectorLast = "\u2514";
constexpr const char* kAfterConnector = "\u2500\u2500 ";

// The record's name; a record without a string name is drawn with an empty one.
std::string_view record_name(json_t* record) {
  json_t* name = json_object_get(record, "name");
  if (!json_is_string(name)) return {};
  return {json_string_value(name), json_string_length(name)};
}

// Natural order of names, so that 2 comes before 10 and item9 before item10.
bool name_before(json_t* a, json_t* b) {
  const char* x = json_string_value(json_object_get(a, "name"));
  const char* y = json_string_value(json_object_get(b, "name"));
  return strverscmp(x ? x : "", y ? y : "") < 0;
}

// The children that can be drawn (objects), sorted by name.
std::vector<json_t*> sorted_children(json_t* content) {
  std::vector<json_t*> out;
  size_t i;
  json_t* child;
  json_array_foreach(content, i, child) {
    if (json_is_object(child)) out.push_back(child);
  }
  std::stable_sort(out.begin(), out.end(), name_before);
  return out;
}

// The width aligning the "=" of the children: 0 as soon as one of them has children of its own.
size_t children_width(const std::vector<json_t*>& children) {
  size_t width = 0;
  for (json_t* c : children) {
    if (json_object_get(c, "content")) return 0;
    width = std::max(width, record_name(c).size());
  }
  return width;
}

void print_line(json_t* record, std::string_view name, size_t width,
                const k::ColourTable& colours, FILE* out) {
  k::put_text(name, colours.escape, out);
  json_t* value = json_object_get(record, "value");
  if (value) {
    json_t* base = json_object_get(record, "base");
    int b = json_is_integer(base) ? static_cast<int>(json_integer_value(base)) : 0;
    std::string text = json_dump_value(value, b);
    size_t fill = width > name.size() ? width - name.size() : 0;
    std::fprintf(out, "%*s = ", static_cast<int>(fill), "");
    colours.set(k::kColourAutocomplete, out);
    k::put_text(text, colours.escape, out);
    colours.reset(out);
  }
  std::fputc('\n', out);
}

}  // namespace

json_t* display_tree_child(DisplayTreeIndex& index, json_t* parent, std::string_view name) {
  json_t* content = json_object_get(parent, "content");
  if (!json_is_array(content)) {
    content = json_array();
    json_object_set_new(parent, "content", content);
  }
  auto [it, first_visit] = index.children.try_emplace(parent);
  auto& by_name = it->second;
  if (first_visit) {
    // Children put there before the index knew the parent are found too; the first one of a
    // name wins, as a scan of "content" would find it.
    size_t i;
    json_t* child;
    json_array_foreach(content, i, child) {
      std::string_view n = record_name(child);
      if (json_is_object(child)) by_name.try_emplace(std::string(n), child);
    }
  }
  std::string key(name);
  auto found = by_name.find(key);
  if (found != by_name.end()) return found->second;
  json_t* child = json_object();
  json_object_set_new(child, "name", json_stringn(name.data(), name.size()));
  json_array_append_new(content, child);
  by_name.emplace(std::move(key), child);
  return child;
}

void print_tree(json_t* root, const k::ColourTable& colours, FILE* out) {
  print_tree_node(root, -1, 0, {}, false, colours, out);
}

void print_tree_node(json_t* record, int depth, size_t width, const std::vector<char>& columns,
                     bool is_last, const k::ColourTable& colours, FILE* out) {
  // Private column flags: the caller's levels 0..depth, and one for this record's children.
  std::vector<char> flags(depth + 2, 0);
  for (int i = 0; i <= depth && i < static_cast<int>(columns.size()); ++i) flags[i] = columns[i];

  k::interrupt_check();  // Ctrl-C stops a large drawing at the next line
  std::string_view name = record_name(record);
  bool print = depth >= 0 || !name.empty();
  if (print) {
    for (int i = 0; i < depth; ++i) std::fputs(flags[i] ? kColumnMore : kColumnNone, out);
    if (depth >= 0) {
      std::fputs(is_last ? kConnectorLast : kConnectorMiddle, out);
      std::fputs(kAfterConnector, out);
    }
    print_line(record, name, width, colours, out);
  }

  std::vector<json_t*> children = sorted_children(json_object_get(record, "content"));
  size_t child_width = children_width(children);
  flags[depth + 1] = 1;
  for (size_t i = 0; i < children.size(); ++i) {
    bool last = i + 1 == children.size();
    if (last) flags[depth + 1] = 0;
    print_tree_node(children[i], depth + 1, child_width, flags, last, colours, out);
  }
}
