// Rights of a user (or of the guests): rules from a path to the letters "rwadx". The rule with
// the longest path that covers a node decides what may be done with it; a node no rule covers
// allows nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"

namespace sim {

// One letter of a rule, as a bit.
enum Right : unsigned {
  kRightRead = 1,     // r: names, values, attributes
  kRightWrite = 2,    // w: SetParameterValues, RawSetParameterValues, ChangeOrder
  kRightAdd = 4,      // a: AddObject
  kRightDelete = 8,   // d: DeleteObject
  kRightExecute = 16, // x: Execute
};
inline constexpr unsigned kAllRights = 31;

// A rule: an object path with its trailing dot, a parameter or method path, or "." for all.
struct RightsRule {
  std::string path;
  unsigned rights = 0;
};

// The rules of one user.
struct Rights {
  std::vector<RightsRule> rules;

  // What may be done at a node's path: the letters of the longest rule covering it.
  unsigned at(std::string_view path) const;
  // True when a rule below the node (not at it) gives `right`: something inside may have it
  // even when the node itself has not.
  bool given_below(std::string_view path, unsigned right) const;
  // True when no rule lies below the node: everything inside has the node's own rights.
  bool uniform_below(std::string_view path) const;
};

// The rights of a whole subtree, when no rule lies inside it, as a listing hands them down so
// that it need not ask node by node. Not uniform: each node is asked.
struct RightsScope {
  bool uniform = false;
  unsigned rights = 0;  // when uniform: what every node of the subtree allows
};

// Rights that allow everything.
Rights all_rights();

// Reads rules from a JSON object {path: letters}. False with `error` saying what is wrong
// (naming the rule: a path that is not a data-model path, a letter outside "rwadx", ...).
bool parse_rights(json_t* rules, Rights& out, std::string& error);

// The path whose rule applies to a node listed under `path`: nodes inside a table's template
// follow the table ("Device.Hosts.Host.#template.Name" -> "Device.Hosts.Host."), a method's
// arguments follow the method ("Device.Ping.#input.Host" -> "Device.Ping").
std::string_view rights_path(std::string_view path);

}  // namespace sim
