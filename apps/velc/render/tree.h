// Display trees: the record every printed tree is built from, a name index for building large
// trees, and the renderer that draws one with box-drawing characters.
//
// A display-tree record is a JSON object:
//   "name"       string, the node's line text (one path element; at a root the listed path)
//   "content"    array of records, the children in any order (present on objects)
//   "value"      any, the value as veld sent it; the line then reads name = value
//   "base"       integer, number base of "value" (0 when absent)
//   "multi"      boolean, a table whose pseudo-parameters were listed (not used for drawing)
//   "from_multi" boolean, a table in the schema view (not used for drawing)
#pragma once

#include <cstdio>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <jansson.h>

#include "platform/colors.h"

// Children of records met while building a tree, by name, so that finding a child among many
// siblings does not scan "content". Records must stay alive (owned by the tree) while it is used.
struct DisplayTreeIndex {
  std::unordered_map<json_t*, std::unordered_map<std::string, json_t*>> children;
};

// The first child of `parent` named `name`; a new record {"name": name} is appended to the
// parent's "content" (created when missing) when there is none. Borrowed from the tree.
json_t* display_tree_child(DisplayTreeIndex& index, json_t* parent, std::string_view name);

// Draws a tree on `out`, one line per record, values in the autocomplete colour of
// `colours`; a root with an empty name has no line.
void print_tree(json_t* root, const k::ColourTable& colours, FILE* out);

// Draws one record and its children. `depth` is -1 for the root, 0 for its children, ...;
// `width` the name width that aligns "=" among leaf siblings (0: no alignment); `columns` holds,
// for each level 0..depth, whether the ancestor at that level has further siblings below it.
void print_tree_node(json_t* record, int depth, size_t width, const std::vector<char>& columns,
                     bool is_last, const k::ColourTable& colours, FILE* out);
