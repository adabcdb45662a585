// A node of the schema cache: the node's attributes, read once from veld's description, whether
// its children were asked for, a table's instance template, a method's arguments, and its
// children in veld's order, found by name without a walk (a table may hold many thousands).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/json.h"
#include "platform/tr.h"

struct SchemaNode;
// Nodes are shared: a node path keeps the nodes it stands on alive after the cache drops them
// (a table fetched again, an instance deleted).
using SchemaNodePtr = std::shared_ptr<SchemaNode>;

// A node's attributes, as veld sent them and read into the fields the client uses.
struct NodeAttributes {
  k::Json all;              // the attributes object as veld sent it; none without attributes
  int type = k::kTypeNone;  // the "type" attribute's code
  bool read_only = false;   // "access" is "readOnly"
  k::Json default_value;    // "default"; none without one
  int base = 0;             // the integer "base" (the number base values are shown in), or 0
  bool multi = false;       // "multi" is true: a table
  bool ordered = false;     // "ordered" is true: a table whose instances have an order

  // Reads a JSON object of attributes (anything else gives no attributes).
  static NodeAttributes from_json(json_t* attributes);
};

struct SchemaNode {
  NodeAttributes attributes;
  bool fetched = false;         // its children were asked for (whatever veld answered)
  SchemaNodePtr template_node;  // a table's instance description ("#template")
  SchemaNodePtr input;          // a method's arguments ("#input")

  // The child `name`, or none; "#template" and "#input" name the template and the arguments.
  SchemaNode* child(std::string_view name) const { return child_ref(name).get(); }
  const SchemaNodePtr& child_ref(std::string_view name) const;
  // Sets the child `name` (the template or the arguments for their names), in its place when
  // there is one, else last.
  void set_child(const std::string& name, SchemaNodePtr node);
  // Drops the child `name` (the others keep their order).
  void remove_child(std::string_view name);
  // Drops the children, the template and the arguments; the attributes stay.
  void clear_below();
  // The children in order, as (name, node).
  const std::vector<std::pair<std::string, SchemaNodePtr>>& children() const { return children_; }
  // True for a node whose children were neither asked for nor learnt.
  bool below_unknown() const {
    return !fetched && children_.empty() && !template_node && !input;
  }

 private:
  std::vector<std::pair<std::string, SchemaNodePtr>> children_;
  std::unordered_map<std::string, size_t> index_;  // name to place in children_
};

// The node at a path below `root` (trailing dot allowed, "#template" and "#input" elements
// followed), exactly as the tree holds it, or none.
SchemaNode* schema_node_at(SchemaNode* root, std::string_view path);
// The same, but an instance number that the tree does not hold is looked up in the table's
// template: the node that describes a value veld names.
const SchemaNode* schema_node_describing(const SchemaNode* root, std::string_view path);

// The tree of a ParameterList of {"Name", "Attributes"} entries relative to `base` (empty or
// ".": the root): each entry's name, less the base, is split at "." down to the node that gets
// the entry's attributes; the base's own entry gives the returned node's. Entries outside the
// base are skipped. Nodes are not marked fetched.
SchemaNodePtr schema_nodes_from_list(json_t* parameter_list, std::string_view base);
