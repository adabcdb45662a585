// The Lua module "norlan.device": Lua code reads and changes the data model and acts on the
// device over the client's own requests connection (LuaContext::messaging), with its login.
// It is built into velc: every interpreter the client makes finds it with
// require("norlan.device"). docs/lua-api.md describes the functions.
#pragma once

struct lua_State;

// Makes require("norlan.device") give the module in `L` (package.preload). 0, or -1 when Lua
// ran out of memory (the module is then missing, and require says so).
int lua_device_register(lua_State* L);
