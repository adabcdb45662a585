// The names of the built-in behaviours a model may give its parameters and methods with
// "#handler", and the "#target" each needs; the loader checks a model against them.
#pragma once

#include <string_view>

#include "model/node.h"

namespace sim {

// What the "#target" of a behaviour must name.
enum class TargetKind { kNone, kTable, kObject, kParameter };

// A built-in behaviour: its "#handler" name, whether it belongs to a method (else to a
// parameter, as a read handler), and the node its "#target" names (kNone: it takes none).
struct HandlerInfo {
  const char* name;
  bool method;
  TargetKind target;
};

// The built-in behaviour of that name; none for an unknown name.
const HandlerInfo* find_handler(std::string_view name);

// The node a "#target" path names, relative to the parent object of `n`; none when missing.
Node* handler_target(const Node& n);

}  // namespace sim
