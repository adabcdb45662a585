// A node's configuration as one JSON value, the shape both the saved configuration and the
// Select method give: parameters as values, objects and instances as nested objects keyed by
// element name or instance number. Methods are not configuration and are always left out.
#pragma once

#include <functional>

#include "model/node.h"
#include "platform/json.h"

namespace sim {

// What goes into a configuration tree.
struct ConfigTreeRules {
  // Whether a node (and all below it) is shown at all.
  std::function<bool(const Node&)> include;
  // The value a parameter shows; none leaves the parameter out.
  std::function<k::Json(const Node&)> value;
  // Tables also give "#max_instance" and, when ordered, "#order" (as a model file does).
  bool table_state = false;
};

// The configuration below `n` (an object, instance or table) as a JSON object.
k::Json config_tree(const Node& n, const ConfigTreeRules& rules);

}  // namespace sim
