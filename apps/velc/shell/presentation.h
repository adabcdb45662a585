// Commands that change or clear what the shell shows: `color` sets an entry of the colour scheme
// (the prompt, completion and highlighted output, hints), `opt` switches completion, hints and
// strict mode, `clear` clears the screen. Each takes the command name and its arguments and gives
// 0 or -1.
#pragma once

#include <string>

#include "shell/client.h"

int cmd_color(Client& client, const std::string& name, json_t* args);
int cmd_opt(Client& client, const std::string& name, json_t* args);
// `opt` in request mode and script files, where only "strict on|off" means something (there is
// no line editor); anything else prints "syntax: %s strict on|off".
int cmd_opt_request(Client& client, const std::string& name, json_t* args);
int cmd_clear(Client& client, const std::string& name, json_t* args);
