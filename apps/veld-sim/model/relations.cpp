#include "model/relations.h"

#include <algorithm>

#include "model/resolve.h"

namespace sim {

namespace {

// A reference names the instance with or without its trailing dot.
bool names_instance(std::string_view item, const std::string& instance_path) {
  std::string_view bare(instance_path.data(), instance_path.size() - 1);
  return item == instance_path || item == bare;
}

// Calls fn(item) for each comma-separated item of a reference value.
template <typename Fn>
void for_each_item(std::string_view value, Fn fn) {
  size_t pos = 0;
  while (pos <= value.size()) {
    size_t comma = value.find(',', pos);
    if (comma == std::string_view::npos) comma = value.size();
    fn(value.substr(pos, comma - pos));
    pos = comma + 1;
  }
}

bool refers_to(const Node& param, const std::string& instance_path) {
  json_t* v = param.value.get();
  if (!json_is_string(v)) return false;
  bool found = false;
  for_each_item(std::string_view(json_string_value(v), json_string_length(v)),
                [&](std::string_view item) { found = found || names_instance(item, instance_path); });
  return found;
}

// The instance holding a referring parameter: the nearest instance above it.
Node* holder(Node& param) {
  for (Node* n = param.parent; n; n = n->parent)
    if (n->is_instance()) return n;
  return nullptr;
}

}  // namespace

bool plan_delete(Node& root, const Node& table, const std::string& instance_path,
                 RelationEffects& effects, Fault& fault) {
  size_t i;
  json_t* relation;
  json_array_foreach(json_object_get(table.attr.get(), "relations"), i, relation) {
    std::string pattern = k::json_text(relation, "match");
    json_t* verdict = json_object_get(relation, "verdict");
    if (pattern.empty() || !json_is_integer(verdict)) continue;
    // "*" stands for every instance, as "#template" does in a value request.
    std::string path;
    for (size_t at = 0; at < pattern.size(); ++at)
      path += pattern[at] == '*' ? std::string("#template") : std::string(1, pattern[at]);
    std::vector<Target> found;
    Fault ignored;
    if (!resolve(root, path, TemplateMode::kExpand, found, ignored)) continue;
    for (const Target& t : found) {
      Node& param = *t.node;
      if (t.pseudo != Pseudo::kNone || param.kind != NodeKind::kParameter ||
          !refers_to(param, instance_path))
        continue;
      switch (json_integer_value(verdict)) {
        case kDeny:
          fault.code = kRequestDenied;
          fault.detail = instance_path + ": referred to by " + t.path;
          return false;
        case kCascade:
          if (Node* inst = holder(param)) {
            std::string p = node_path(*inst);
            // Not the instance itself, nor anything inside it.
            if (!p.starts_with(instance_path) &&
                std::find(effects.cascade.begin(), effects.cascade.end(), p) == effects.cascade.end())
              effects.cascade.push_back(std::move(p));
          }
          break;
        case kClear:
          effects.clear.push_back(&param);
          break;
        default:
          break;
      }
    }
  }
  return true;
}

void clear_reference(Node& param, const std::string& instance_path) {
  json_t* v = param.value.get();
  if (!json_is_string(v)) return;
  std::string kept;
  for_each_item(std::string_view(json_string_value(v), json_string_length(v)),
                [&](std::string_view item) {
                  if (item.empty() || names_instance(item, instance_path)) return;
                  if (!kept.empty()) kept += ',';
                  kept.append(item);
                });
  param.value = k::json_str(kept);
}

}  // namespace sim
