// Data-model path helpers: instance numbers, a table's pseudo-parameters, walking a path text's
// elements, and the ParameterList texts of a configuration tree.
#pragma once

#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/tr.h"

namespace k {

// True for an element that names an instance: 1 to 20 decimal digits.
bool tr_is_instance_number(std::string_view element);
// True for the names a table lists beside its instances, "max_instance" and "order": parameters,
// whatever the cache holds for them.
bool tr_is_pseudo_parameter(std::string_view element);

// Converts a configuration tree (objects as JSON objects keyed by element name or instance
// number, parameters as their values) into a ParameterList of {"Name", "Value"} entries, in the
// tree's order, each name the base path (an object path; "." or none: the root) followed by the
// parameter's path below it. A new array.
Json tr_config_to_namevalues(json_t* config, const char* base);

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
