// `help`: the commands of a table with their usage and description.
#pragma once

#include "platform/colors.h"
#include "shell/command_table.h"

// Prints on `out` the rows that have a handler, a usage and a description,
// sorted by name: the usage padded to the widest one (in the autocomplete
// colour), " - ", the description. 0.
int help_print(CommandTable table, const k::ColourTable& colours, FILE* out);
