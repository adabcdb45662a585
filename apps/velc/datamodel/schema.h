// The schema cache: the client's copy of the part of veld's schema it has seen, one JSON tree
// rooted at `schema_root`, filled lazily one level at a time (tables with all their instances in
// one request), and rebuilt when the shell starts or the user changes.
//
// A node is a JSON object: its children under their names, and special keys beginning with "#":
// "#attr" (the node's attributes as veld sent them), "#fetched" (true once its children were
// asked for), "#template" (a table's instance description), "#input" (a method's arguments). An
// ordered table also holds "order": {"#fetched": true}.
#pragma once

#include <string>

#include "datamodel/cdpath.h"
#include "platform/json.h"

// The cache's root; none until the first schema_reset.
extern k::Json schema_root;

// List options of schema_list_children.
enum ListOptions : int {
  LIST_OBJECTS_ONLY = 1,   // leave parameters out
  LIST_MARK_OBJECTS = 2,   // a trailing "." on every entry that is not a parameter
  LIST_ABSOLUTE = 4,       // every entry begins with ":"
  LIST_MATCH_PREFIX = 8,   // the filter is a name prefix (case-insensitive), not a path prefix
  LIST_WRITABLE_ONLY = 16, // leave read-only parameters out
};

// Drops the cache, moves `current_path` and `previous_path` to the new root, fetches the top
// level and rebuilds the prompt. Returns the new root, or none when veld could not be asked (the
// root then stays empty).
json_t* schema_reset();
// Fetches the children of the path's node from veld (tables: all instances' subtrees). A path
// without a node gets a new, empty one of its own. The node is marked fetched whatever veld
// answers (a refusal leaves it empty). Returns 0, or -1 when veld could not be asked at all.
int schema_fetch(cdpath& p);
// The child `name` of the path's node, fetching when needed; an instance number the cache does
// not hold gives the table's "#template". None when there is no such child.
json_t* schema_child(cdpath& p, const std::string& name);
// Turns "#info" entries into "#attr" attributes, in place, recursively.
void schema_info_to_attr(json_t* node);
// 0 for a node whose "access" attribute is "readOnly", else 1.
int node_is_writable(json_t* node);
// 1 for a text of 1 to 20 decimal digits.
int is_instance_number(const std::string& text);
// The names of the path's children, from the cache (fetching the node first when needed).
k::Json schema_list_children(cdpath& p, const char* filter, int options);
// The names below the path for the tree view: a table's instances as veld lists them (one
// request), any other node's cached children. None when the request fails.
k::Json schema_list_names(cdpath& p);
// Appends ":"? prefix "."? name "."? to `array` (an empty prefix counts as none).
void list_entry_add(json_t* array, const std::string& name, const char* prefix, bool absolute,
                    bool mark);
// Applies the queued data-model change events to the cache.
void schema_apply_events();
