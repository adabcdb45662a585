// Navigation commands: cd moves the shell's position (remembering the one it leaves for "-"),
// up climbs levels, take adds an instance and moves into it, pwd prints the position. Each takes
// the command name and its arguments and gives 0 or negative.
#pragma once

#include <string>

#include "datamodel/context.h"

int cmd_cd(CommandContext& client, const std::string& name, json_t* args);
int cmd_up(CommandContext& client, const std::string& name, json_t* args);
int cmd_take(CommandContext& client, const std::string& name, json_t* args);
int cmd_pwd(CommandContext& client, const std::string& name, json_t* args);
