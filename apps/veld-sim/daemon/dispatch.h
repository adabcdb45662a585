// From a JSON-RPC method name and params to an engine operation: checks the params' shape and
// reads them into the engine's arguments.
#pragma once

#include <optional>
#include <string>

#include "engine/engine.h"

namespace sim {

// Runs a data-model method. Params of the wrong shape give -32602; none for a method that is
// not a data-model method (the caller answers -32601 or handles it itself).
std::optional<Reply> dispatch(Engine& engine, const Caller& caller, const std::string& method,
                              json_t* params);

// Reads an optional text member of params into `out`; false when it is present with another
// type.
bool opt_text(json_t* params, const char* key, std::optional<std::string>& out);

// Reads a "ParameterList" of {"Name": text, "Value": any}; false when it has another shape.
bool read_named_values(json_t* list, std::vector<NamedValue>& out);

}  // namespace sim
