// `sh`: a command line of the system's shell, run from velc.
#pragma once

#include <string>

#include <jansson.h>

#include "shell/client.h"

// `sh [<cmd> <...>]`: runs the words, each followed by a blank and unquoted (so the system shell
// reads its own syntax in them), with system(3); without words an interactive "sh". 0, whatever
// the command's status.
int cmd_sh(Client& client, const std::string& name, json_t* args);
