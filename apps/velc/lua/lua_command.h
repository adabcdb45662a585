// The shell command `lua`: one Lua statement run in a fresh interpreter, or the Lua shell.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/client.h"

// The handler of `lua`. With arguments: echoes the statement (each argument followed by one
// blank) on a line of its own, runs it in a fresh interpreter whose requests use the client's
// connection, and prints what it printed, or "LUA ERROR: <error text>"; 0 either way. Ctrl-C
// (under a k::InterruptScope) stops the statement with k::Interrupted.
// Without arguments it would enter the Lua shell, which this velc does not have yet: it says so
// and gives -1.
int lua_command(Client& client, const std::string& name, json_t* args);
