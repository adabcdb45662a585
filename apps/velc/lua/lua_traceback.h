// The message handler of the Lua shell's protected calls: the error message followed by a stack
// trace of every activation record, innermost first.
#pragma once

#include <lua.hpp>

// Message handler (lua_CFunction): takes the error object as argument 1 and returns one string,
// the message (or "(no error message)" for nil, or for a value that is neither a string nor a
// number and has no "__tostring"), "\n\nStack trace:\n", and one line per level, "#0" being
// the handler itself. Source names and function names are plain.
int lua_traceback(lua_State* L);

// The same with the source names and function names in bold ("\e[1m" ... "\e[22m"), for when
// colours are on. Both are light C functions, so pushing either allocates nothing.
int lua_traceback_bold(lua_State* L);
