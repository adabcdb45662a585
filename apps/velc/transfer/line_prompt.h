// Asking the user a question on standard input: the prompt, then one line as typed (the
// terminal echoes it).
#pragma once

#include <optional>
#include <string>

namespace k {

// Prints `prompt`, reads one line from standard input and gives it without its newline; none at
// the end of input when nothing was read. Throws Interrupted on Ctrl-C.
std::optional<std::string> prompt_line(const std::string& prompt);

}  // namespace k
