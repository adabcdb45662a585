// The node path: one place in veld's data model, as the path text the user sees and sends, and
// the schema-cache node standing there, with the chain of nodes above it (so stepping up needs no
// lookup and no request).
#pragma once

#include <string>
#include <vector>

#include "datamodel/schema_node.h"

// The longest path text a node path holds; a longer one is refused (resolution fails).
inline constexpr size_t kPathTextMax = 255;

// A node path: a value, copied and moved like one; a copy holds the same nodes, and stepping
// on one copy never moves another.
struct cdpath {
  // The node at the path; none without a schema cache. Held here too: a table that is fetched
  // again, or a delete event, drops the cache's hold on nodes that a path may still stand on.
  SchemaNodePtr node;
  std::vector<SchemaNodePtr> parents;  // the nodes above, nearest last
  bool is_multi = false;   // `node` is a multi-instance object
  bool is_ordered = false; // `node` is an ordered multi-instance object
  bool in_method = false;  // resolution may step into "#input"
  bool via_template = false;  // the last resolution of this path went through "*"
  std::string text;        // elements joined by ".", no leading or trailing ".", empty at the root
};

// Back to `root`, the root node of the schema cache; `via_template` is kept.
void cdpath_clear(cdpath& p, const SchemaNodePtr& root);
// Steps down into `child` under `name` (whether it is a table is the child's). Returns 0, or -1
// when the text would exceed kPathTextMax (the path is then unchanged).
int cdpath_push(cdpath& p, SchemaNodePtr child, const std::string& name);
// Steps up one level (stays at the root). Returns 0.
int cdpath_pop(cdpath& p);

// The path text that names `p`'s node in a request, spelt as veld wants it (the other spelling
// is refused): "." at the root; a parameter's, a table's pseudo-parameter's or a method's text
// as it is; any other node's (an object, a table, an instance, a template, a method's "#input",
// or a node the cache does not hold) with its trailing ".".
std::string cdpath_request_text(const cdpath& p);

