// The node path: one place in veld's data model, as the path text the user sees and sends, and
// the schema-cache node standing there, with the chain of nodes above it (so stepping up needs no
// lookup and no request).
#pragma once

#include <string>

#include "platform/json.h"

// The longest path text a node path holds; a longer one is refused (resolution fails).
inline constexpr size_t kPathTextMax = 255;

// A node path. Records are not copyable by assignment: cdpath_copy makes the parents array of the
// copy its own, so that pushing on one record never changes another.
struct cdpath {
  cdpath() = default;
  cdpath(const cdpath&) = delete;
  cdpath& operator=(const cdpath&) = delete;

  json_t* node = nullptr;  // the node at the path; null when the path stepped into a missing
                           // template and nothing was fetched for it yet
  k::Json parents;         // JSON array of the nodes above, nearest first; owns a reference each
  bool is_multi = false;   // `node` is a multi-instance object
  bool is_ordered = false; // `node` is an ordered multi-instance object
  bool in_method = false;  // resolution may step into "#input"
  bool via_template = false;  // the last resolution went through "*"
  std::string text;        // elements joined by ".", no leading or trailing ".", empty at the root
  // Keeps `node` alive on its own: a table that is fetched again, or a delete event, drops the
  // cache's reference to instance nodes that a path may still stand on.
  k::Json node_hold;
};

// Initialises `p` at `root`, the root node of the schema cache (none without a cache).
void cdpath_new(cdpath& p, json_t* root);
// Makes `dst` a shallow copy of `src` (same nodes, new array); `via_template` starts cleared.
// `dst` may be `src` itself.
void cdpath_copy(cdpath& dst, const cdpath& src);
// Back to `root`, the root node of the schema cache; `via_template` is kept.
void cdpath_clear(cdpath& p, json_t* root);
// Drops the references `p` holds (node included); it can be initialised again.
void cdpath_free(cdpath& p);
// Steps down into `child` under `name`. Returns 0, or -1 when the text would exceed
// kPathTextMax (the path is then unchanged).
int cdpath_push(cdpath& p, json_t* child, const std::string& name, bool multi, bool ordered);
// Steps up one level (stays at the root). Returns 0.
int cdpath_pop(cdpath& p);

// The path text that names `p`'s node in a request, spelt as veld wants it (the other spelling
// is refused): "." at the root; a parameter's, a table's pseudo-parameter's or a method's text
// as it is; any other node's (an object, a table, an instance, a template, a method's "#input",
// or a node the cache does not hold) with its trailing ".".
std::string cdpath_request_text(const cdpath& p);

// RAII copy of a node path, freed on every way out.
struct CdpathCopy {
  cdpath path;
  explicit CdpathCopy(const cdpath& src) { cdpath_copy(path, src); }
  ~CdpathCopy() { cdpath_free(path); }
  CdpathCopy(const CdpathCopy&) = delete;
  CdpathCopy& operator=(const CdpathCopy&) = delete;
};
