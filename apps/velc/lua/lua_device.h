// The requests of the Lua module "norlan.device": Lua code reads and changes the data model and
// acts on the device over the client's own requests connection (LuaContext::messaging), with its
// login. They are built into velc as the core "velc.device"; the module itself is the file
// norlan/device/init.lua in the module directory, which requires the core and adds helpers written
// in Lua. docs/lua-api.md describes the functions.
#pragma once

struct lua_State;

// Makes require("velc.device") give the core in `L` (package.preload). 0, or -1 when Lua
// ran out of memory (the module is then missing, and require says so).
int lua_device_register(lua_State* L);
