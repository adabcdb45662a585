// The client's view of veld's data model: the schema cache, the shell's position in it, its
// position before the last `cd`, and the change events not yet applied to the cache. One view
// lives as long as the shell (request mode has one without a cache).
#pragma once

#include "datamodel/cdpath.h"
#include "datamodel/schema_node.h"
#include "link/events.h"

// The schema cache's layout is described in schema.h.
struct DataModelView {
  SchemaNodePtr schema_root;    // the cache's root; none until the first schema_reset
  cdpath current_path;          // the shell's position; without a node when there is no cache
  cdpath previous_path;         // the position before the last `cd` ("-")
  ChangeQueue pending_changes;  // received from veld, applied by schema_apply_events
  unsigned user_generation = 0;  // the session's user_generation the cache was made for
};
