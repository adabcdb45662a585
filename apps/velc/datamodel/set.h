// The set command (declared with the other handlers in shell/command_handlers.h) and the
// collection of its assignments.
#pragma once

#include <string>

#include "platform/json.h"

// Turns the "<path>=<value>" arguments into a ParameterList of {"Name", "Value"}: with a schema
// cache, paths are resolved and values converted by the parameter's type; without one, paths go
// as typed and values are parsed as JSON. Rejected assignments are reported (naming `name`) and
// left out. None, after printing "<name>: no argument.", when nothing was accepted.
k::Json set_collect(const std::string& name, json_t* args);
