// Converting a typed value text into the JSON value of a parameter, by the JSON type of the
// parameter's default value, and taking the quotes off a value typed outside the shell.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/json.h"

// string: the text itself (valid UTF-8, may be empty); integer: a signed 32-bit number, or else an
// unsigned 32-bit one ("0x" hexadecimal, leading "0" octal); real: a number; true/false: "true" or
// "false" in any case. None when the text does not fit the type, and for any other type.
k::Json value_from_text(std::string_view text, json_type type);

// The value text of the request form, where no shell took the quotes off: a text in double quotes
// is read as a JSON string (JSON's escapes; "\"a b\"" gives a b), one in apostrophes loses them,
// any other text stays as it is. None for a text that begins with a double quote and is no
// complete JSON string.
std::optional<std::string> request_value_text(std::string_view text);

