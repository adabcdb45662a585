// Telling a URL from a file path (the second argument of `download` may be either).
#pragma once

#include <string_view>

namespace k {

// True when `text` is a URL: a scheme (a letter, then letters, digits, "+", "-" or "."), then
// "://", then at least one more character ("http://host/fw.img", "file:///tmp/fw.img"). Any
// other text is a path.
bool is_url(std::string_view text);

}  // namespace k
