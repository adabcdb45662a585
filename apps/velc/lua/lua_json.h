// JSON values to Lua values and back, for the device module: JSON objects are tables keyed by
// name, arrays sequences (1..n), integers Lua integers, reals floats, null the light userdata
// `device.null`.
#pragma once

#include <string>

#include <lua.hpp>

#include "platform/json.h"

// Reads the Lua value at `index` as JSON. Uses only Lua calls that never raise, so it may hold
// C++ objects. A table whose keys are 1..n (n > 0) is an array, one with text keys an object
// (its members sorted by name), an empty one an empty array. None, with `why` saying what, for
// anything else (functions, mixed keys, NaN, nesting deeper than 64).
k::Json lua_to_json(lua_State* L, int index, std::string& why);

// Pushes `value` (none: nil) as a Lua value. May raise (out of memory): call it only from code
// that holds no C++ object with a destructor, inside a protected call.
void lua_push_json(lua_State* L, json_t* value);
