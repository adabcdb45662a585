// The Lua value printer: a readable, Lua-like text of any Lua value, as the Lua shell shows each
// result. Strings are quoted and escaped (or in long brackets when long or multi-line), tables
// are laid out with their array part first and their other fields one per line, nested tables
// indented, long output wrapped at 80 columns, cycles and excessive depth cut short.
#pragma once

#include <string>

#include <lua.hpp>

#include "lua/text_buffer.h"

// Renders the value at stack index `index` of `L` (negative counts from the top) into `buffer`,
// which it empties first, and returns the buffer's text, valid until the next rendering.
// Rendered results carry no escape sequences of ours: bold is off for the rendering.
// Everything that may raise a Lua error (metamethods, "__tostring", memory) runs inside a
// protected call; an error that escapes the renderer replaces the whole text with its message.
// The stack is left as it was.
const std::string& lua_value_to_text(lua_State* L, int index, TextBuffer& buffer);

// The same rendering with the bold switch given: when `bold` is true the names of nil,
// booleans, functions, userdata, threads, identifier keys and the cut-short markers are wrapped
// in "\e[1m" ... "\e[22m" (which do not count towards the line width).
const std::string& lua_value_render(lua_State* L, int index, TextBuffer& buffer, bool bold);
