// Data-model tree helpers: the schema cache's node shapes, type codes, and path text tests.
//
// A cache node is a JSON object whose keys are child names or special keys beginning with "#";
// "#attr" holds the node's attributes as veld sent them ("type", "access", "default", "base",
// "multi", "ordered", ...).
#pragma once

#include <string>
#include <string_view>

#include "platform/json.h"

namespace k {

// Type codes of `tr_node_type`, from the "type" attribute. Codes 0 to 2 are not parameters;
// 4 and 25 are the two spellings of a boolean; 23 is a parameter whose value is a data-model path.
enum TypeCode : int {
  kTypeNone = 0,         // no type attribute (an unknown node)
  kTypeObject = 1,       // "object"
  kTypeMethod = 2,       // "method"
  kTypeString = 3,       // "string"
  kTypeBoolean = 4,      // "boolean"
  kTypeInt = 5,          // "int"
  kTypeUnsignedInt = 6,  // "unsignedInt"
  kTypeLong = 7,         // "long"
  kTypeUnsignedLong = 8, // "unsignedLong"
  kTypeDecimal = 9,      // "decimal"
  kTypeDateTime = 10,    // "dateTime"
  kTypeBase64 = 11,      // "base64"
  kTypeHexBinary = 12,   // "hexBinary"
  kTypeIpAddress = 13,   // "IPAddress"
  kTypeIpv4Address = 14, // "IPv4Address"
  kTypeIpv6Address = 15, // "IPv6Address"
  kTypeIpPrefix = 16,    // "IPPrefix"
  kTypeMacAddress = 17,  // "MACAddress"
  kTypeAlias = 18,       // "Alias"
  kTypeUuid = 19,        // "UUID"
  kTypeDomainName = 20,  // "DomainName"
  kTypeList = 21,        // "list" (comma-separated values)
  kTypeEnum = 22,        // "enum"
  kTypePath = 23,        // "path" (a reference to another node)
  kTypeUnknown = 24,     // any other type text
  kTypeBool = 25,        // "bool"
};

// The type code of a node (0 for none or a node without a type).
int tr_node_type(json_t* node);
// The code of a type text.
int tr_type_code(std::string_view type_text);
// True for the codes of parameters (3 and above).
bool tr_type_is_parameter(int code);

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

// A path text that names a parameter or an object without its trailing dot: not empty and not
// ending in "." (k_tr_path_is_full).
bool tr_path_is_full(std::string_view path);
// A path text ending in "." (k_tr_path_is_partial).
bool tr_path_is_partial(std::string_view path);

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
// The path of the parent: the path without its last element ("Device.Hosts.Host.3." gives
// "Device.Hosts.Host."; a trailing dot is kept; one element gives "").
std::string tr_parent_path(std::string_view path);

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
