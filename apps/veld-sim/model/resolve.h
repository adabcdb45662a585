// Path lookup: from a path text to the node(s) it names, with the pseudo-parameters of tables
// and the "#template" element either naming the template (schema requests) or standing for
// every instance (value requests).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/fault.h"
#include "model/node.h"

namespace sim {

// The pseudo-parameters of a table.
enum class Pseudo { kNone, kMaxInstance, kOrder };

// A node found by a path, with the path it is listed under.
struct Target {
  Node* node = nullptr;  // the node, or for a pseudo-parameter its table
  Pseudo pseudo = Pseudo::kNone;
  std::string path;      // canonical path ("Device.Hosts.Host.3.", "Device.Hosts.Host.order")
};

// How "#template" is read.
enum class TemplateMode {
  kSchema,   // names the template itself
  kExpand,   // stands for every instance of the table
};

// Finds the nodes a path names. With kSchema there is exactly one on success; with kExpand
// there may be none (a table without instances). On failure, `fault` holds 9005 with a detail
// naming the path.
bool resolve(Node& root, std::string_view path, TemplateMode mode, std::vector<Target>& out,
             Fault& fault);

// The name of a pseudo-parameter ("max_instance", "order").
const char* pseudo_name(Pseudo p);

}  // namespace sim
