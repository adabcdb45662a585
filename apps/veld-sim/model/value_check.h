// Checks of parameter values against their attributes (JSON type, type bounds, range, length,
// enumeration, pattern, address formats) and conversion of text forms for RawSetParameterValues.
#pragma once

#include <string>
#include <string_view>

#include "platform/json.h"

namespace sim {

// The JSON kind of a parameter's values: its default's JSON type, or from its type without one.
enum class ValueKind { kString, kInteger, kReal, kBoolean, kArray };

// The value kind of a parameter with these attributes.
ValueKind value_kind(json_t* attr);

// Checks `value` for a parameter with attributes `attr`. Returns 0, kInvalidType (wrong JSON
// type) or kInvalidValue (out of range, length, enumeration, pattern or format); `why` gets a
// short reason on failure. `stored` receives the value to store (an integer given for a real
// parameter becomes a real).
int check_value(json_t* attr, json_t* value, k::Json& stored, std::string* why = nullptr);

// Converts a text form ("42", "0x10", "0b101", "-7", "true", "1.5") to a value of the
// parameter's kind; none when the text does not read as one.
k::Json value_from_text(json_t* attr, std::string_view text);

// True when a model's pattern compiles (POSIX extended syntax, matched against the whole value).
bool regex_compiles(const std::string& pattern);
// True for a version text MAJOR.MINOR.BUILD[-SUFFIX]: three numbers of 1 to 9 digits, and a
// suffix of letters, digits, ".", "_" and "-".
bool is_version_text(std::string_view text);

}  // namespace sim
