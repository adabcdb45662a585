// Writing text that comes from the device (names, values, error texts) to standard output. On a
// terminal, control characters in such text could set the window title, clear the screen or
// overwrite lines, so there they are written escaped; piped output keeps every byte as it is.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace k {

// `text` with its control characters escaped: C0 control characters other than tab and newline,
// DEL and bytes that are not part of a UTF-8 character become "\xHH", C1 control characters
// (U+0080 to U+009F) "\u00HH"; everything else, UTF-8 text included, stays.
std::string escape_controls(std::string_view text);

// Writes `text` to `to`, escaped as escape_controls does when `escape` is set (standard output
// is a terminal), unchanged otherwise.
void put_text(std::string_view text, bool escape, FILE* to = stdout);

}  // namespace k
