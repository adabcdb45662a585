// The maker's Lua modules, loaded into an interpreter before the Lua shell's first statement.
#pragma once

struct lua_State;

// Requires "norlan.<entry>" for every entry of the module folder (k::lua_module_dir()), in
// folder order, with a final ".so" cut from the name; each module that loads is printed as
// "> preloaded <entry>" and becomes the global of that name. Entries that do not load are
// skipped silently, as is a folder that cannot be opened. Throws k::Interrupted after Ctrl-C
// (under a k::InterruptScope).
void lua_preload_modules(lua_State* L);
