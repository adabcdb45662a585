// velc's command table: every command of the shell and of request mode, naming the handlers of
// every layer.
#pragma once

#include "shell/command_table.h"

// The rows, in lookup order.
CommandTable velc_commands();
