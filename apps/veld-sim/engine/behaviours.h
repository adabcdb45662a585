// Built-in behaviours named by "#handler" in the model: values computed when read, and what
// methods do when executed.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "model/fault.h"
#include "model/handlers.h"
#include "model/node.h"
#include "platform/json.h"

namespace sim {

class Engine;
struct Caller;

// Arguments or outputs of a method by their element names.
using ValueMap = std::map<std::string, k::Json>;

// The value of a parameter with a read handler ("uptime", "local_time", "secret", "count",
// "current_user", "system_access") as the caller reads it; none when the handler is not one of
// these.
k::Json runtime_value(const Engine& engine, const Caller& caller, const Node& param);

// Runs a method's behaviour with its checked arguments (defaults filled in) and returns the
// outputs it computes; outputs left out keep their defaults. A method without a handler only
// echoes defaults. Returns false with `fault` set when the behaviour refuses (it may refuse the
// caller).
bool run_method(Engine& engine, const Caller& caller, Node& method, const ValueMap& in,
                ValueMap& out, Fault& fault);
}  // namespace sim
