// The maker's Lua modules, loaded into an interpreter before the Lua shell's first statement.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct lua_State;

// Requires "norlan.<entry>" for every entry of the module folder (k::lua_module_dir()), with a
// final ".so" cut, in the order of their names (so that every start is alike): X.so is the
// module X, and so is a folder X (by its X/init.lua). Each module that loads is printed on `out`
// as "> preloaded X" and becomes the global X. Gives the names of the modules that loaded, in
// order. Entries that do not load are skipped silently, as is a folder that cannot be opened.
// Throws k::Interrupted after Ctrl-C (under a k::InterruptScope).
std::vector<std::string> lua_preload_modules(lua_State* L, FILE* out = stdout);
