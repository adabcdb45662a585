#include "model/config_tree.h"

#include <string>

namespace sim {

k::Json config_tree(const Node& n, const ConfigTreeRules& rules) {
  k::Json out = k::Json::take(json_object());
  auto add = [&](const std::string& key, k::Json v) {
    json_object_setn_new(out.get(), key.data(), key.size(), v.release());
  };
  if (n.kind == NodeKind::kTable) {
    for (uint32_t number : instance_numbers(n)) {
      const Node& inst = *n.instance(number);
      if (rules.include(inst)) add(std::to_string(number), config_tree(inst, rules));
    }
    if (rules.table_state) {
      add("#max_instance", k::Json::take(json_integer(n.max_instance)));
      if (is_ordered(n)) {
        k::Json order = k::Json::take(json_array());
        for (uint32_t number : n.order) json_array_append_new(order.get(), json_integer(number));
        add("#order", order);
      }
    }
    return out;
  }
  for (const auto& c : n.children) {
    if (c->kind == NodeKind::kMethod || !rules.include(*c)) continue;
    if (c->kind != NodeKind::kParameter)
      add(c->name, config_tree(*c, rules));
    else if (k::Json v = rules.value(*c))
      add(c->name, std::move(v));
  }
  return out;
}

}  // namespace sim
