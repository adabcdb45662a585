// `debug`: the device's system debug mode.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"

// `debug Disabled|Temporary|Permanent` (any case): executes "Device.System.Debug" with the mode,
// and for Temporary and Permanent the logged-in user's password, asked for on the terminal. When
// veld accepts, the user must log in again: the login shell that started velc (the parent
// process) is sent SIGHUP. 0 once sent; -1 with the syntax line, which names the modes, for a
// missing or unknown one.
int cmd_debug(CommandContext& client, const std::string& name, json_t* args);
