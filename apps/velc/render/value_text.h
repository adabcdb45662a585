// The text of a data-model value, as the user sees it after "=" in value listings, trees and
// attribute reports.
#pragma once

#include <string>

#include <jansson.h>

#include "platform/large_reply.h"

// Renders a value received from veld. Integers are shown in the parameter's number `base`
// (8: "0377", 16: "0xff", 2: "0b11111111" from the low 32 bits, anything else: decimal);
// strings are set off with single quotes, their bytes unescaped; objects are dumped indented by
// four blanks, arrays on one line, reals/booleans/null as JSON writes them.
// A negative integer in base 2 shows as "-0b" and the binary digits of its magnitude.
// Callers test for an absent value first; an absent value gives the empty text.
std::string json_dump_value(json_t* value, int base);

// The same text for a value of a large reply (an absent value gives the empty text).
std::string reply_value_text(const k::ReplyValue& value, int base);
