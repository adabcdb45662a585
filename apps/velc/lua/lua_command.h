// The shell commands `lua` (one Lua statement run in a fresh interpreter, or the Lua shell) and
// `luarecord`.
#pragma once

#include <string>

#include <jansson.h>

#include "shell/client.h"

// The handler of `lua`. With arguments: echoes the statement (each argument followed by one
// blank) on a line of its own, runs it in a fresh interpreter whose requests use the client's
// connection; the echo, what it prints (`print`, `io.write`) and "LUA ERROR: <error text>" when
// it fails go to the client's output stream as they come; 0 either way. Ctrl-C
// (under a k::InterruptScope) stops the statement with k::Interrupted.
// Without arguments it runs the Lua shell (lua_shell) and gives its result.
int cmd_lua(Client& client, const std::string& name, json_t* args);

// The handler of `luarecord <filename>`: starts a recording as `record` does (its messages then
// name "luarecord"; -1 when it fails) and runs the Lua shell, which writes the statements of its
// session to the file when it is left.
int cmd_luarecord(Client& client, const std::string& name, json_t* args);
