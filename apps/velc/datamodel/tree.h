// Data-model tree helpers: reading a schema-cache node's attributes, instance numbers, walking
// path texts, and converting between ParameterLists and trees.
//
// A cache node is a JSON object whose keys are child names or special keys beginning with "#";
// "#attr" holds the node's attributes as veld sent them ("type", "access", "default", "base",
// "multi", "ordered", ...).
#pragma once

#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/tr.h"

namespace k {

// The type code of a node (kTypeNone for none or a node without a type).
int tr_node_type(json_t* node);

// The node's "#attr" object (borrowed), or none.
json_t* tr_node_attr(json_t* node);
// The node's "default" attribute (borrowed), or none.
json_t* tr_node_default(json_t* node);
// The node's number base: the integer "base" attribute, or 0.
int tr_node_base(json_t* node);
// "multi" / "ordered" attributes are JSON true; false for none.
bool tr_node_is_multi(json_t* node);
bool tr_node_is_ordered(json_t* node);

// True for an element that names an instance: 1 to 20 decimal digits.
bool tr_is_instance_number(std::string_view element);
// True for the names a table lists beside its instances, "max_instance" and "order": parameters,
// whatever the cache holds for them.
bool tr_is_pseudo_parameter(std::string_view element);

// Converts a ParameterList of {"Name", ...} entries into a tree relative to `base` (none: from
// the root): each entry's name, less the base, is split at "."; the node reached gets the entry
// under "#info". An entry equal to the base lands at the top level under "#info". Entries outside
// the base are skipped. A new tree.
Json tr_names_to_config(json_t* parameter_list, const char* base);

// Converts a configuration tree (objects as JSON objects keyed by element name or instance
// number, parameters as their values) into a ParameterList of {"Name", "Value"} entries, in the
// tree's order, each name the base path (an object path; "." or none: the root) followed by the
// parameter's path below it. A new array.
Json tr_config_to_namevalues(json_t* config, const char* base);

// The node at an absolute path below `root` (trailing dot allowed), or none; an instance number
// that the tree does not hold is looked up in the table's "#template" (k_tr_node_find).
json_t* tr_node_find(json_t* root, std::string_view path);
// The node at a path below `root`, exactly as the tree holds it, or none (k_conf_find_branch).
json_t* conf_find_branch(json_t* root, std::string_view path);

// Calls `fn(element)` for each element of a dotted path, in order, skipping empty ones (so a
// leading, trailing or doubled "." adds none). Stops early, giving false, when `fn` does.
template <typename Fn>
bool tr_path_for_each(std::string_view path, Fn fn) {
  while (!path.empty()) {
    size_t dot = path.find('.');
    std::string_view element = path.substr(0, dot);
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    if (!element.empty() && !fn(element)) return false;
  }
  return true;
}

// The "Name" texts of the entries of a ParameterList, in order: a new JSON array of strings
// (entries without a string name are left out).
Json tr_parameter_names(json_t* parameter_list);

}  // namespace k
