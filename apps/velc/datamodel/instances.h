// Instance commands: add (and touch) creates an instance of a table, del (and rm) deletes one,
// order moves one in an ordered table. Each takes the command name and its arguments, and gives
// 0 or negative (add: the new instance number).
#pragma once

#include <string>

#include "datamodel/context.h"

int cmd_add(CommandContext& client, const std::string& name, json_t* args);
int cmd_del(CommandContext& client, const std::string& name, json_t* args);
int cmd_order(CommandContext& client, const std::string& name, json_t* args);
