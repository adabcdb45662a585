// The data-model and device methods as the daemon's method table runs them: each checks its
// params' shape, reads them into the engine's arguments and runs the engine's operation. Params
// of the wrong shape give -32602 saying what the method expects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace sim {

// A method run on the engine; `params` is a JSON object.
using EngineMethod = Reply (*)(Engine& engine, const Caller& caller, json_t* params);

Reply get_parameter_names(Engine& engine, const Caller& caller, json_t* params);
Reply get_parameter_values(Engine& engine, const Caller& caller, json_t* params);
Reply get_parameter_attributes(Engine& engine, const Caller& caller, json_t* params);
Reply set_parameter_values(Engine& engine, const Caller& caller, json_t* params);
Reply raw_set_parameter_values(Engine& engine, const Caller& caller, json_t* params);
Reply add_object(Engine& engine, const Caller& caller, json_t* params);
Reply delete_object(Engine& engine, const Caller& caller, json_t* params);
Reply change_order(Engine& engine, const Caller& caller, json_t* params);
Reply execute(Engine& engine, const Caller& caller, json_t* params);
Reply reboot(Engine& engine, const Caller& caller, json_t* params);
Reply factory_reset(Engine& engine, const Caller& caller, json_t* params);
Reply save_config(Engine& engine, const Caller& caller, json_t* params);
Reply select(Engine& engine, const Caller& caller, json_t* params);

// Reads an optional text member of params into `out`; false when it is present with another
// type.
bool opt_text(json_t* params, const char* key, std::optional<std::string>& out);

}  // namespace sim
