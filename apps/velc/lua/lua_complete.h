// Completion of Lua text on Tab in the Lua shell: keywords, module names found on the module
// search paths, global names and the fields of tables (and of their metatables' "__index").
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <lua.hpp>

// The 21 keywords offered, in the order offered ("goto" is not among them).
extern const char* const lua_keywords[21];

// The word under the cursor: where it starts and its part before the cursor. Words are split at
// " \t\n`@$><=;|&{(" (dots, colons and brackets belong to the word); a cursor among separators
// stands at an empty word.
struct LuaWord {
  size_t start = 0;
  std::string text;
};
LuaWord lua_word_at(const std::string& line, size_t cursor);

// The candidates for the word under the cursor, each a whole word meant to replace it:
//  - the keywords that begin with it;
//  - modules: a bare module name (not quoted, not ending in ".") that is installed but not yet
//    loaded is loaded and becomes a global ("\nLoaded module '%s'.\n"), one loaded already
//    whose global is nil becomes that global ("\nGlobalized module '%s'.\n"); otherwise the
//    names of package.preload and the modules found on package.path and package.cpath that
//    begin with it (a word that begins with a quote, as typed inside require("...), offers
//    them quoted);
//  - lua_complete_fields.
// `before_message` is called before one of the two messages is printed on stdout (the shell
// takes its line off the screen). Errors inside (a failing require, iterator or expression) only
// end that source of candidates. Leaves the Lua stack as it was.
std::vector<std::string> lua_complete(lua_State* L, const std::string& line, size_t cursor,
                                      const std::function<void()>& before_message = {});

// The names that complete `word` as a global or as a field: after the last ".", ":" or "[" (not
// at the first character) the text before it is evaluated as an expression and its fields are
// offered (after ":" function fields only; after "[" integer keys as "N]" and string keys
// quoted, as "\"key\"]" or "'key']"), else the globals. The fields through `pairs` come first,
// then those of the metatable's "__index" table. Each candidate is the word up to its separator
// followed by the field; a field typed whole gets "(" (a function), "." (a table with string
// keys) or "[" (a table with other keys). Leaves the Lua stack as it was.
std::vector<std::string> lua_complete_fields(lua_State* L, const std::string& word);
