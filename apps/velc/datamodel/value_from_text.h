// Converting a typed value text into the JSON value of a parameter, by the JSON type of the
// parameter's default value.
#pragma once

#include <string_view>

#include "platform/json.h"

// string: the text itself (valid UTF-8, may be empty); integer: a signed 32-bit number, or else an
// unsigned 32-bit one ("0x" hexadecimal, leading "0" octal); real: a number; true/false: "true" or
// "false" in any case. None when the text does not fit the type, and for any other type.
k::Json value_from_text(std::string_view text, json_type type);
