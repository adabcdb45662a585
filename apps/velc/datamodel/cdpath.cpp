#include "datamodel/cdpath.h"

#include "datamodel/tree.h"

namespace {

void set_node(cdpath& p, json_t* node) {
  p.node = node;
  p.node_hold = k::Json::borrow(node);
}

}  // namespace

void cdpath_clear(cdpath& p, json_t* root) {
  p.parents.clear();
  p.is_multi = p.is_ordered = p.in_method = false;
  p.text.clear();
  set_node(p, root);
}

int cdpath_push(cdpath& p, json_t* child, const std::string& name, bool multi, bool ordered) {
  bool at_root = p.parents.empty();
  size_t length = at_root ? name.size() : p.text.size() + 1 + name.size();
  if (length > kPathTextMax) return -1;

  if (at_root)
    p.text = name;
  else
    p.text.append(".").append(name);
  p.is_multi = multi;
  p.is_ordered = ordered;
  p.parents.push_back(std::move(p.node_hold));
  set_node(p, child);
  return 0;
}

int cdpath_pop(cdpath& p) {
  size_t dot = p.text.rfind('.');
  p.text.resize(dot == std::string::npos ? 0 : dot);
  if (!p.parents.empty()) {
    set_node(p, p.parents.back().get());
    p.parents.pop_back();
  }
  p.is_multi = k::tr_node_is_multi(p.node);
  p.is_ordered = k::tr_node_is_ordered(p.node);
  return 0;
}

std::string cdpath_request_text(const cdpath& p) {
  if (p.text.empty()) return ".";
  int type = k::tr_node_type(p.node);
  if (k::tr_type_is_parameter(type) || type == k::kTypeMethod) return p.text;
  std::string_view last = p.text;
  if (size_t dot = last.rfind('.'); dot != std::string_view::npos) last.remove_prefix(dot + 1);
  if (k::tr_is_pseudo_parameter(last)) return p.text;
  return p.text + ".";
}
