// `attr` and `info`: what veld's data model says about nodes, as attribute reports.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"

// The shell form for one path (none: the current position). Resolves it, asks veld for the
// node's attributes (1 s at most) and reports them; when veld gives none, reports what the
// schema cache holds. 0; -1 after "<name>: <path>: no such node", and for the root (three fixed
// lines: it has no attributes of its own).
int attr_show(CommandContext& client, const std::string& name, const char* path);

// `attr`/`info` in the shell: one path (or none) gives attr_show's result; several are reported
// one after the other, each under "<path>:" and followed by a blank line, and give 0.
int cmd_attr(CommandContext& client, const std::string& name, json_t* args);

// `attr`/`info` in request mode: the arguments go to veld as typed (no resolution, no dot added)
// and every node of the answer is reported, each followed by a blank line. 0, or -1 after
// "<name>: ERROR" when veld refuses or does not answer.
int cmd_attr_request(CommandContext& client, const std::string& name, json_t* args);
