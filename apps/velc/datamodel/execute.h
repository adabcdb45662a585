// `execute`: runs a method of veld's data model with input arguments and draws its outputs.
#pragma once

#include <string>

#include <jansson.h>

#include "datamodel/context.h"

// The longest "<rpath>=<value>" argument `execute` accepts, in bytes; a longer one is refused.
inline constexpr size_t kExecuteArgumentMax = 259;

// `execute <method> [<rpath>=<value> ...]`. Each argument is looked up below the method's
// "#input" without regard to case (sent as typed) and its value converted by the JSON type of
// the argument's default: with the schema cache in the shell; in request mode and scripts from
// veld's description of "<method>.#input.", a value's quotes taken off first
// (request_value_text). One bad argument stops the command before anything is sent. The
// outputs are drawn as a tree of their full names. 0 when outputs were drawn; -1 otherwise (a
// refused argument, veld's error, or a method that answered no outputs: its status is
// reported).
int cmd_execute(CommandContext& client, const std::string& name, json_t* args);
