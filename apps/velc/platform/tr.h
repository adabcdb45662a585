// Type codes of the data model's "type" attribute, and tests of path texts: the little of the
// data model that the layers below it (events, the emulator's value checks) need.
#pragma once

#include <string>
#include <string_view>

namespace k {

// Type codes of the "type" attribute (`tr_type_code`). Codes 0 to 2 are not parameters;
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

// The code of a type text.
int tr_type_code(std::string_view type_text);
// True for the codes of parameters (3 and above).
bool tr_type_is_parameter(int code);

// A path text that names a parameter or an object without its trailing dot: not empty and not
// ending in "." (k_tr_path_is_full).
bool tr_path_is_full(std::string_view path);
// A path text ending in "." (k_tr_path_is_partial).
bool tr_path_is_partial(std::string_view path);
// The path of the parent: the path without its last element ("Device.Hosts.Host.3." gives
// "Device.Hosts.Host."; a trailing dot is kept; one element gives "").
std::string tr_parent_path(std::string_view path);

}  // namespace k
