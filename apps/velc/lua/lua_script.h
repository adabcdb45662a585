// Lua scripts: the file of Lua-script mode (-S, the program name velc_lua).
#pragma once

#include <optional>
#include <string>

#include <jansson.h>

namespace k {
class Connection;
}

// Runs the Lua script at `path`, else at the first element of `parameters`, else read from
// standard input (named "stdin"); the other elements of `parameters` (a borrowed JSON array)
// are its arguments (`...` and arg[1..n]; arg[0] is the path). A first line beginning with
// "#!" is blanked, its newline kept, so that line numbers match the file. The script runs in a
// fresh interpreter whose requests use `messaging`; what it prints goes to standard output as it
// prints it (see k::LuaContext), and an error it raises follows as its error text and a newline.
// Standard output is flushed when it ends, however it ends. 0, also when the script failed
// unless `strict` (then -1); -1 with "Cannot open script file %s" when the file cannot be
// opened. Ctrl-C (under a k::InterruptScope) stops it with k::Interrupted.
int run_lua_script(const std::optional<std::string>& path, json_t* parameters,
                   k::Connection* messaging, bool strict = false);
