#include "datamodel/cdpath.h"

#include "datamodel/tree.h"

namespace {

// A parents array stores a missing node (a template the cache does not hold) as JSON null, so
// that the array keeps one entry per path element.
json_t* stored_node(json_t* node) { return node ? node : json_null(); }
json_t* loaded_node(json_t* entry) { return json_is_null(entry) ? nullptr : entry; }

void set_node(cdpath& p, json_t* node) {
  p.node = node;
  p.node_hold = k::Json::borrow(node);
}

k::Json new_array() { return k::Json::take(json_array()); }

}  // namespace

void cdpath_new(cdpath& p, json_t* root) {
  cdpath_free(p);
  p.is_multi = p.is_ordered = p.in_method = p.via_template = false;
  p.text.clear();
  p.parents = new_array();
  set_node(p, root);
}

void cdpath_copy(cdpath& dst, const cdpath& src) {
  // Everything is read from `src` before `dst` changes, so `dst` may be `src`.
  k::Json parents = new_array();
  if (src.parents) json_array_extend(parents.get(), src.parents.get());
  k::Json hold = k::Json::borrow(src.node);
  json_t* node = src.node;
  bool multi = src.is_multi, ordered = src.is_ordered, in_method = src.in_method;
  std::string text = src.text;

  dst.parents = std::move(parents);
  dst.node_hold = std::move(hold);
  dst.node = node;
  dst.is_multi = multi;
  dst.is_ordered = ordered;
  dst.in_method = in_method;
  dst.via_template = false;
  dst.text = std::move(text);
}

void cdpath_clear(cdpath& p, json_t* root) {
  if (p.parents)
    json_array_clear(p.parents.get());
  else
    p.parents = new_array();
  p.is_multi = p.is_ordered = p.in_method = false;
  p.text.clear();
  set_node(p, root);
}

void cdpath_free(cdpath& p) {
  p.parents = k::Json();
  set_node(p, nullptr);
}

int cdpath_push(cdpath& p, json_t* child, const std::string& name, bool multi, bool ordered) {
  if (!p.parents) p.parents = new_array();
  bool at_root = json_array_size(p.parents.get()) == 0;
  size_t length = at_root ? name.size() : p.text.size() + 1 + name.size();
  if (length > kPathTextMax) return -1;

  if (at_root)
    p.text = name;
  else
    p.text.append(".").append(name);
  p.is_multi = multi;
  p.is_ordered = ordered;
  json_array_insert(p.parents.get(), 0, stored_node(p.node));
  set_node(p, child);
  return 0;
}

int cdpath_pop(cdpath& p) {
  size_t dot = p.text.rfind('.');
  p.text.resize(dot == std::string::npos ? 0 : dot);
  if (json_array_size(p.parents.get()) > 0) {
    set_node(p, loaded_node(json_array_get(p.parents.get(), 0)));
    json_array_remove(p.parents.get(), 0);
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
