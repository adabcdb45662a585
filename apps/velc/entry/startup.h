// Start-up and the mode switch: the two connections, the command line, the connection checks,
// the groups, the configuration script, then exactly one mode. The result is the exit status.
#pragma once

#include <string>

#include "entry/cline.h"
#include "platform/jrpc_connection.h"

// The whole run of the program.
int velc_main(int argc, char** argv);

// Joins an event group on a connection (time-out 1000 ms, which stays set). The exec result.
int join_group(k::Connection& handle, unsigned group);

// The configuration script's path: the --config path, else "$HOME/.local/velc/config" (HOME from
// the environment or, when unset, the password database). Empty when no home can be found.
std::string config_script_path(const Options& options);
