#include "datamodel/cdpath.h"

#include "datamodel/tree.h"

namespace {

void set_node(cdpath& p, SchemaNodePtr node) { p.node = std::move(node); }

}  // namespace

void cdpath_clear(cdpath& p, const SchemaNodePtr& root) {
  p.parents.clear();
  p.is_multi = p.is_ordered = p.in_method = false;
  p.text.clear();
  set_node(p, root);
}

int cdpath_push(cdpath& p, SchemaNodePtr child, const std::string& name) {
  bool at_root = p.parents.empty();
  size_t length = at_root ? name.size() : p.text.size() + 1 + name.size();
  if (length > kPathTextMax) return -1;

  if (at_root)
    p.text = name;
  else
    p.text.append(".").append(name);
  p.is_multi = child && child->attributes.multi;
  p.is_ordered = child && child->attributes.ordered;
  p.parents.push_back(std::move(p.node));
  set_node(p, std::move(child));
  return 0;
}

int cdpath_pop(cdpath& p) {
  size_t dot = p.text.rfind('.');
  p.text.resize(dot == std::string::npos ? 0 : dot);
  if (!p.parents.empty()) {
    set_node(p, std::move(p.parents.back()));
    p.parents.pop_back();
  }
  p.is_multi = p.node && p.node->attributes.multi;
  p.is_ordered = p.node && p.node->attributes.ordered;
  return 0;
}

std::string cdpath_request_text(const cdpath& p) {
  if (p.text.empty()) return ".";
  int type = p.node ? p.node->attributes.type : k::kTypeNone;
  if (k::tr_type_is_parameter(type) || type == k::kTypeMethod) return p.text;
  std::string_view last = p.text;
  if (size_t dot = last.rfind('.'); dot != std::string_view::npos) last.remove_prefix(dot + 1);
  if (k::tr_is_pseudo_parameter(last)) return p.text;
  return p.text + ".";
}
