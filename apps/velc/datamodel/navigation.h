// Navigation commands: cd moves the shell's position (remembering the one it leaves for "-"),
// up climbs levels, take adds an instance and moves into it, pwd prints the position. Each takes
// the command name and its arguments and gives 0 or negative.
#pragma once

#include <string>

#include "datamodel/client.h"

int cmd_cd(Client& client, const std::string& name, json_t* args);
int cmd_up(Client& client, const std::string& name, json_t* args);
int cmd_take(Client& client, const std::string& name, json_t* args);
int cmd_pwd(Client& client, const std::string& name, json_t* args);
