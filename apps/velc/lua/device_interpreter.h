// The one way the client makes a Lua interpreter that can act on the device: the `lua` command,
// the Lua shell and Lua scripts all start from it, so they see the same core module.
#pragma once

#include <memory>

#include "lua/lua_runner.h"

namespace k {
class Connection;
}

// A fresh interpreter whose device requests go over `requests` (the client's requests
// connection; with none, the device functions fail with "no connection to veld"), with
// the core module "velc.device" registered, so that require("norlan.device") works in it.
std::unique_ptr<k::LuaContext> make_device_interpreter(k::Connection* requests);
