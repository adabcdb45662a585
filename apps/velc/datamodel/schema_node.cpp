#include "datamodel/schema_node.h"

#include <cstring>

#include "datamodel/tree.h"
#include "platform/interrupt.h"

namespace {

const SchemaNodePtr kNone;

// The template or the arguments slot that `name` names, or none for an ordinary child.
SchemaNodePtr* special_slot(SchemaNode& node, std::string_view name) {
  if (name == "#template") return &node.template_node;
  if (name == "#input") return &node.input;
  return nullptr;
}

// The child `name` of `node`, made empty when missing.
SchemaNode* child_made(SchemaNode& node, std::string_view name) {
  if (SchemaNode* existing = node.child(name)) return existing;
  auto made = std::make_shared<SchemaNode>();
  node.set_child(std::string(name), made);
  return made.get();
}

}  // namespace

NodeAttributes NodeAttributes::from_json(json_t* attributes) {
  NodeAttributes a;
  if (!json_is_object(attributes)) return a;
  a.all = k::Json::borrow(attributes);
  json_t* type = json_object_get(attributes, "type");
  a.type = json_is_string(type) ? k::tr_type_code(json_string_value(type)) : k::kTypeNone;
  json_t* access = json_object_get(attributes, "access");
  a.read_only = json_is_string(access) && std::strcmp(json_string_value(access), "readOnly") == 0;
  a.default_value = k::Json::borrow(json_object_get(attributes, "default"));
  json_t* base = json_object_get(attributes, "base");
  a.base = json_is_integer(base) ? static_cast<int>(json_integer_value(base)) : 0;
  a.multi = json_is_true(json_object_get(attributes, "multi"));
  a.ordered = json_is_true(json_object_get(attributes, "ordered"));
  return a;
}

const SchemaNodePtr& SchemaNode::child_ref(std::string_view name) const {
  if (name == "#template") return template_node;
  if (name == "#input") return input;
  auto found = index_.find(std::string(name));
  return found == index_.end() ? kNone : children_[found->second].second;
}

void SchemaNode::set_child(const std::string& name, SchemaNodePtr node) {
  if (SchemaNodePtr* slot = special_slot(*this, name)) {
    *slot = std::move(node);
    return;
  }
  auto [place, added] = index_.try_emplace(name, children_.size());
  if (added)
    children_.emplace_back(name, std::move(node));
  else
    children_[place->second].second = std::move(node);
}

void SchemaNode::remove_child(std::string_view name) {
  if (SchemaNodePtr* slot = special_slot(*this, name)) {
    slot->reset();
    return;
  }
  auto found = index_.find(std::string(name));
  if (found == index_.end()) return;
  size_t place = found->second;
  index_.erase(found);
  children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(place));
  for (size_t i = place; i < children_.size(); ++i) index_[children_[i].first] = i;
}

void SchemaNode::clear_below() {
  children_.clear();
  index_.clear();
  template_node.reset();
  input.reset();
  fetched = false;
}

SchemaNode* schema_node_at(SchemaNode* root, std::string_view path) {
  SchemaNode* node = root;
  bool found = node && k::tr_path_for_each(path, [&](std::string_view element) {
    node = node->child(element);
    return node != nullptr;
  });
  return found ? node : nullptr;
}

const SchemaNode* schema_node_describing(const SchemaNode* root, std::string_view path) {
  const SchemaNode* node = root;
  bool found = node && k::tr_path_for_each(path, [&](std::string_view element) {
    const SchemaNode* next = node->child(element);
    if (!next && k::tr_is_instance_number(element)) next = node->template_node.get();
    node = next;
    return node != nullptr;
  });
  return found ? node : nullptr;
}

SchemaNodePtr schema_nodes_from_list(json_t* parameter_list, std::string_view base) {
  auto tree = std::make_shared<SchemaNode>();
  if (base == ".") base = {};
  size_t i;
  json_t* entry;
  json_array_foreach(parameter_list, i, entry) {
    k::interrupt_check();  // a tree of many thousand entries is given up at Ctrl-C
    json_t* name = json_object_get(entry, "Name");
    if (!json_is_string(name)) continue;
    std::string_view full(json_string_value(name), json_string_length(name));
    if (full.substr(0, base.size()) != base) continue;
    SchemaNode* node = tree.get();
    k::tr_path_for_each(full.substr(base.size()), [&](std::string_view element) {
      node = child_made(*node, element);
      return true;
    });
    node->attributes = NodeAttributes::from_json(json_object_get(entry, "Attributes"));
  }
  return tree;
}
