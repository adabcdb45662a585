// Path resolution: applies a typed path to a node path, element by element.
//
// Syntax: a leading ":" starts at the root; elements are separated by "." (empty ones vanish).
// An element is "<" repeated (up one level per "<"), "-..." (the previous position, echoed),
// "*" (the table's template), "#input" (a method's arguments, only in method context), or the
// name of a child or an instance number. Names are matched without regard to case against the
// children the cache already knows, and take the cache's spelling.
#include <strings.h>

#include <cstdio>
#include <string_view>

#include "datamodel/cdpath.h"
#include "datamodel/schema.h"
#include "platform/tr.h"

namespace {

// The cache's key for a typed name: the exact key when there is one (an O(1) lookup), otherwise
// the first key equal to it without regard to case, otherwise the name as typed.
std::string cached_spelling(json_t* node, const std::string& name) {
  if (!node || json_object_get(node, name.c_str())) return name;
  bool has_letter = false;
  for (char c : name) has_letter |= (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (!has_letter) return name;  // digits (instance numbers) have only one spelling
  const char* key;
  json_t* child;
  json_object_foreach(node, key, child) {
    if (strcasecmp(key, name.c_str()) == 0) return key;
  }
  return name;
}

// Steps into the child `name`; -1 when there is none or the path text would be too long.
int step_into(cdpath& p, const std::string& name) {
  json_t* child = schema_child(p, name);
  if (!child) return -1;
  return cdpath_push(p, child, name, k::tr_node_is_multi(child), k::tr_node_is_ordered(child));
}

int step_to_template(cdpath& p) {
  // A missing template is not an error here: the path gets an empty node of its own, which its
  // next fetch fills (from veld's answer about "<table>.#template."). It must not be left without
  // a node, since the commands take a position without a node for one without a schema cache.
  json_t* templ = schema_child(p, "#template");
  k::Json own;
  if (!templ) {
    own = k::Json::take(json_object());
    templ = own.get();
  }
  p.via_template = true;
  return cdpath_push(p, templ, "#template", k::tr_node_is_multi(templ),
                     k::tr_node_is_ordered(templ));
}

int apply_element(cdpath& p, std::string_view element) {
  switch (element[0]) {
    case '#':
      if (!p.in_method || element != "#input") return -1;
      return step_into(p, std::string(element));
    case '<':
      for (char c : element) {
        if (c != '<') return -1;
        cdpath_pop(p);
      }
      return 0;
    case '-':
      std::printf(":%s\n", previous_path.text.c_str());
      cdpath_copy(p, previous_path);
      return 0;
    case '*':
      return element.size() == 1 ? step_to_template(p) : -1;
    default:
      return step_into(p, cached_spelling(p.node, std::string(element)));
  }
}

}  // namespace

int cdpath_resolve(cdpath& p, const char* text) {
  if (!text) return -2;
  std::string_view rest(text);
  if (!rest.empty() && rest[0] == ':') {
    cdpath_clear(p);
    rest.remove_prefix(1);
  }
  while (!rest.empty()) {
    size_t dot = rest.find('.');
    std::string_view element = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    if (element.empty()) continue;
    if (apply_element(p, element) != 0) return -1;
  }
  return 0;
}
