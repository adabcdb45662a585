#include "model/node.h"

#include <algorithm>

namespace sim {

Node* Node::child(std::string_view element) const {
  for (const auto& c : children)
    if (c->name == element) return c.get();
  return nullptr;
}

Node* Node::instance(uint32_t number) const {
  auto it = instances.find(number);
  return it == instances.end() ? nullptr : it->second.get();
}

bool Node::in_template() const {
  for (const Node* n = this; n; n = n->parent)
    if (n->name == "#template") return true;
  return false;
}

bool Node::in_input() const {
  for (const Node* n = this; n; n = n->parent)
    if (n->name == "#input") return true;
  return false;
}

bool attr_bool(const Node& n, const char* key, bool fallback) {
  json_t* v = json_object_get(n.attr.get(), key);
  return json_is_boolean(v) ? json_is_true(v) : fallback;
}

long long attr_int(const Node& n, const char* key, long long fallback) {
  json_t* v = json_object_get(n.attr.get(), key);
  return json_is_integer(v) ? json_integer_value(v) : fallback;
}

std::string attr_text(const Node& n, const char* key, std::string_view fallback) {
  return k::json_text(n.attr.get(), key, fallback);
}

bool is_ordered(const Node& table) {
  return table.kind == NodeKind::kTable && attr_bool(table, "ordered");
}

bool is_writable_parameter(const Node& param) {
  return param.kind == NodeKind::kParameter && attr_text(param, "access") == "readWrite" &&
         !attr_bool(param, "const");
}

bool is_writable_table(const Node& table) {
  return table.kind == NodeKind::kTable && attr_text(table, "access") == "readWrite";
}

std::vector<uint32_t> instance_numbers(const Node& table) {
  if (is_ordered(table)) return table.order;
  std::vector<uint32_t> out;
  out.reserve(table.instances.size());
  for (const auto& [number, inst] : table.instances) out.push_back(number);
  return out;
}

std::unique_ptr<Node> copy_node(const Node& src, Node* parent, std::string name) {
  auto n = std::make_unique<Node>();
  n->kind = src.kind;
  n->name = std::move(name);
  n->parent = parent;
  n->attr = src.attr;
  n->value = src.value ? k::Json::take(json_deep_copy(src.value.get())) : k::Json();
  n->handler = src.handler;
  n->handler_arg = src.handler_arg;
  n->children.reserve(src.children.size());
  for (const auto& c : src.children) n->children.push_back(copy_node(*c, n.get(), c->name));
  if (src.templ) n->templ = copy_node(*src.templ, n.get(), src.templ->name);
  if (src.input) n->input = copy_node(*src.input, n.get(), src.input->name);
  return n;
}

Node& add_instance(Node& table, uint32_t number) {
  auto inst = copy_node(*table.templ, &table, std::to_string(number));
  Node& ref = *inst;
  table.instances[number] = std::move(inst);
  table.max_instance = std::max(table.max_instance, number);
  if (is_ordered(table)) table.order.push_back(number);
  return ref;
}

void remove_instance(Node& table, uint32_t number) {
  table.instances.erase(number);
  std::erase(table.order, number);
}

std::string node_path(const Node& n) {
  std::vector<const Node*> chain;
  for (const Node* p = &n; p->parent; p = p->parent) chain.push_back(p);
  if (chain.empty()) return ".";
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '.';
    path += (*it)->name;
  }
  if (n.is_object_like()) path += '.';
  return path;
}

}  // namespace sim
