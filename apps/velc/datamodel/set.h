// The set command: writes parameter values, all accepted assignments of one command in one
// request.
#pragma once

#include <string>

#include "datamodel/context.h"
#include "platform/json.h"

// `set <path>=<value> ...`: sends the accepted assignments and reports veld's answer. Under
// another word than "set" (request mode passes the word as typed, such as
// "SetParameterValues") the values go raw, for veld to convert text values by the parameter's
// type itself. 0, or -1 when no assignment was accepted.
int cmd_set(CommandContext& client, const std::string& name, json_t* args);

// Appends {"Name": path, "Value": value} to a ParameterList (a JSON array).
void append_assignment(json_t* list, const std::string& path, k::Json value);

// Turns the "<path>=<value>" arguments into a ParameterList of {"Name", "Value"}, each value
// converted by the parameter's type. With a schema cache (the shell), paths are resolved on the
// current position and a rejected assignment is reported (naming `name`) and left out. Without
// one (request mode, scripts), veld describes each parameter, named as typed, and the value
// may carry quotes (request_value_text); one rejected assignment rejects all, after
// "<name>: <n> of <m> assignments refused, nothing sent.". None, after "<name>: no argument.",
// when nothing was accepted.
k::Json set_collect(CommandContext& client, const std::string& name, json_t* args);
