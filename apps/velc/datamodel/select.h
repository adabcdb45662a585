// `select`: the configuration of the nodes a selector picks, drawn as values trees.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"

// `select <selector>` ("Select"): the words joined with blanks are the selector (a path whose
// instance numbers may be "*" or "[Param=Value & ...]"); each selected node is drawn as a values
// tree under its base path. 0; -1 with the syntax line without a word, or with veld's error.
int cmd_select(CommandContext& client, const std::string& name, json_t* args);
