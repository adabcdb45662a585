// The schema cache: the client's copy of the part of veld's schema it has seen, a tree of
// SchemaNode (schema_node.h) rooted at the view's `schema_root`, filled lazily one level at a time
// (tables with all their instances in one request), and rebuilt when the shell starts or the user
// changes (before the next command). veld's replies become nodes as they arrive; an ordered
// table also holds "order", an empty node marked fetched.
#pragma once

#include <functional>
#include <string>

#include "datamodel/context.h"
#include "datamodel/schema_node.h"
#include "platform/json.h"

// List options of schema_list_children.
enum ListOptions : int {
  kListObjectsOnly = 1,    // leave parameters out
  kListMarkObjects = 2,    // a trailing "." on every entry that is not a parameter
  kListAbsolute = 4,       // every entry begins with ":"
  kListMatchPrefix = 8,    // the filter is a name prefix (case-insensitive), not a path prefix
  kListWritableOnly = 16,  // leave read-only parameters out
};

// Drops the cache, moves the current and previous positions to the new root and fetches the top
// level, for the session's current user. Returns the new root, or none when veld could not be
// asked (the root then stays empty).
SchemaNode* schema_reset(CommandContext& client);
// Resets a cache that was made for another user than the session's current one: each user sees
// their own part of the data model. Nothing happens without a cache.
void schema_follow_user(CommandContext& client);
// Fetches the children of the path's node from veld (tables: all instances' subtrees). A path
// without a node gets a new, empty one of its own. The node is marked fetched whatever veld
// answers (a refusal leaves it empty). Returns 0, or -1 when veld could not be asked at all.
int schema_fetch(CommandContext& client, cdpath& p);
// True for a node known only from its parent's reply (or not at all): the cache has not asked
// for its children yet.
bool schema_children_unknown(const SchemaNode* node);
// The child `name` of the path's node, fetching when needed; an instance number the cache does
// not hold gives the table's template. None when there is no such child.
SchemaNodePtr schema_child(CommandContext& client, cdpath& p, const std::string& name);
// The names of the path's children, from the cache (fetching the node first when needed).
k::Json schema_list_children(CommandContext& client, cdpath& p, const char* filter, int options);
// The walk behind schema_list_children, for callers that want no JSON array: calls
// `visit(name, parameter)` for each child that the filter and the options (kListObjectsOnly,
// kListMatchPrefix, kListWritableOnly) let through, in the node's order, until it returns false.
void schema_for_each_child(CommandContext& client, cdpath& p, const char* filter, int options,
                           const std::function<bool(const char* name, bool parameter)>& visit);
// The names below the path for the tree view: a table's instances as veld lists them (one
// request), any other node's children from the cache, fetched first when it has not asked for
// them yet (a tree never shows a node as empty for want of asking). None when a request fails.
k::Json schema_list_names(CommandContext& client, cdpath& p);
// Appends ":"? prefix "."? name "."? to `array` (an empty prefix counts as none).
void list_entry_add(json_t* array, const std::string& name, const char* prefix, bool absolute,
                    bool mark);
// Applies the view's queued data-model change events to the cache.
void schema_apply_events(CommandContext& client);
