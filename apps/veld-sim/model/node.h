// The in-memory data model: a tree of objects, tables with their instances, parameters and
// methods. Attributes are kept as the JSON objects that GetParameterAttributes reports; the
// copies of a template share them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"

namespace sim {

// What a node is. Instances, templates and a method's "#input" are objects.
enum class NodeKind { kObject, kTable, kParameter, kMethod };

// One node of the tree.
struct Node {
  NodeKind kind = NodeKind::kObject;
  std::string name;       // element name: "Host", "3", "#template", "#input"
  Node* parent = nullptr;
  k::Json attr;           // reported attributes; never changed after loading
  k::Json value;          // a parameter's current value
  std::string handler;    // built-in behaviour of a method or runtime parameter ("" none)
  std::string handler_arg;  // its "#target": a path relative to the parent object
  // Children in model order: an object's members, a method's output parameters.
  std::vector<std::unique_ptr<Node>> children;

  // Tables only: template, instances by number, listing order of an ordered table.
  std::unique_ptr<Node> templ;
  std::map<uint32_t, std::unique_ptr<Node>> instances;
  std::vector<uint32_t> order;
  uint32_t max_instance = 0;

  // Methods only: the "#input" object holding the arguments.
  std::unique_ptr<Node> input;

  // The child object, table, parameter or method of that name, or none.
  Node* child(std::string_view element) const;
  // A table's instance, or none.
  Node* instance(uint32_t number) const;
  // True for nodes named with a trailing dot: objects, tables, instances, templates, "#input".
  bool is_object_like() const { return kind == NodeKind::kObject || kind == NodeKind::kTable; }
  // True for an instance of a table.
  bool is_instance() const { return parent && parent->kind == NodeKind::kTable && name != "#template"; }
  // True for a table's "#template" node or anything inside one (schema, not data).
  bool in_template() const;
  // True for a method's "#input" node or anything inside one.
  bool in_input() const;
};

// Attribute readers: the member when present with the right JSON type, else the fallback.
bool attr_bool(const Node& n, const char* key, bool fallback = false);
long long attr_int(const Node& n, const char* key, long long fallback);
std::string attr_text(const Node& n, const char* key, std::string_view fallback = {});

// True for an ordered table.
bool is_ordered(const Node& table);
// True when a parameter accepts SetParameterValues: access "readWrite" and not constant.
bool is_writable_parameter(const Node& param);
// True when a table accepts AddObject and DeleteObject (its access is "readWrite").
bool is_writable_table(const Node& table);

// The instance numbers of a table in listing order (the order of an ordered table, else
// ascending).
std::vector<uint32_t> instance_numbers(const Node& table);

// A deep copy of `src` (a template) under `parent` with another name: a new instance. Tables
// inside the copy start empty, as the template holds no instances.
std::unique_ptr<Node> copy_node(const Node& src, Node* parent, std::string name);

// Adds a new instance numbered `number` (above max_instance) copied from the template; for an
// ordered table it goes last. Returns it.
Node& add_instance(Node& table, uint32_t number);
// Removes an instance (and its place in the order).
void remove_instance(Node& table, uint32_t number);

// The canonical path of a node: "Device.Hosts.Host.3." for objects, "Device.UpTime" for
// parameters and methods, "." for the root.
std::string node_path(const Node& n);

}  // namespace sim
