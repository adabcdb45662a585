// The data-model and device methods as the daemon's method table runs them: each checks its
// params' shape, then the right the table declares for it, reads the params into the engine's
// arguments and runs the engine's operation. Params of the wrong shape give -32602 saying what
// the method expects, whoever sends them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/caller_rights.h"
#include "engine/engine.h"

namespace sim {

// One call of a method: who calls it, and what the method table says the method asks of them.
struct Call {
  const Caller& caller;
  MethodRight right;
  std::string_view method;  // its name, as refusals name it
  // The refusal of a caller who lacks `right` (see refuse_method); none when it may go on.
  std::optional<Reply> refused() const { return refuse_method(caller, right, method); }
};

// A method run on the engine; `params` is a JSON object.
using EngineMethod = Reply (*)(Engine& engine, const Call& call, json_t* params);

Reply get_parameter_names(Engine& engine, const Call& call, json_t* params);
Reply get_parameter_values(Engine& engine, const Call& call, json_t* params);
Reply get_parameter_attributes(Engine& engine, const Call& call, json_t* params);
Reply set_parameter_values(Engine& engine, const Call& call, json_t* params);
Reply raw_set_parameter_values(Engine& engine, const Call& call, json_t* params);
Reply add_object(Engine& engine, const Call& call, json_t* params);
Reply delete_object(Engine& engine, const Call& call, json_t* params);
Reply change_order(Engine& engine, const Call& call, json_t* params);
Reply execute(Engine& engine, const Call& call, json_t* params);
Reply reboot(Engine& engine, const Call& call, json_t* params);
Reply factory_reset(Engine& engine, const Call& call, json_t* params);
Reply save_config(Engine& engine, const Call& call, json_t* params);
Reply select(Engine& engine, const Call& call, json_t* params);

// Reads an optional text member of params into `out`; false when it is present with another
// type.
bool opt_text(json_t* params, const char* key, std::optional<std::string>& out);

}  // namespace sim
