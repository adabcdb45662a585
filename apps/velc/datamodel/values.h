// Reading values: `cat`/`get` (aligned name = value lines), `catree` (the same values as a tree),
// `tree` (the schema below a node, from the cache, without values), and the values tree that
// method results are drawn with.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"
#include "platform/json.h"

// `cat` and `get`: the values below each path argument (none: the current position). 0.
int cmd_cat(CommandContext& client, const std::string& name, json_t* args);
// `catree`: the same values, drawn as a tree. 0.
int cmd_catree(CommandContext& client, const std::string& name, json_t* args);
// `tree`: the schema below the path argument (none: the current position). 0, or -1 when the
// path does not resolve.
int cmd_tree(CommandContext& client, const std::string& name, json_t* args);

// Shows the values of one path (`tree`: as a tree). 0, or -1 when the path does not resolve or
// veld gives no result (reported).
int values_show(CommandContext& client, const std::string& name, const char* path, bool tree);

// The path text the values of `p` are asked for. `typed` is the path as the user typed it, sent
// unchanged when there is no schema cache (`cached` false); otherwise the node's request text
// (cdpath_request_text).
std::string values_request_text(const cdpath& p, const char* typed, bool cached);

// Prints a ParameterList as "name = value" lines aligned on "=", names relative to the request
// text (up to its first "#"; the root's "." cuts nothing); an entry whose relative name is empty
// shows the request's last element instead. Values in the base of their cached node.
void values_print(CommandContext& client, json_t* parameter_list, const std::string& request_text);
// The same for the ParameterList of a large reply.
void values_print(CommandContext& client, const k::LargeReply& reply, const std::string& request_text);

// The values tree of a ParameterList below the request text (up to its first "#"): objects carry
// "content", and "multi" when they hold a table's pseudo-parameter; leaves carry "value" and the
// "base" of their schema node. Entries outside the request text are skipped. The root is named
// by the request text up to its first "#" ("." at the data-model root, "" for method results).
k::Json values_tree_build(const SchemaNode* schema_root, json_t* parameter_list,
                          const std::string& request_text);

// The schema tree below `p` from the cache: objects carry "content" and "from_multi", leaves only
// "name". A table's instances all take the template's structure. `from_multi` marks children of
// a table, whose "max_instance" and "order" are leaves.
k::Json schema_tree(CommandContext& client, cdpath& p, const std::string& name, bool from_multi);
