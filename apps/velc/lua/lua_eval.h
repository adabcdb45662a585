// One statement of the Lua shell: compiled first as an expression whose values are printed,
// then as a chunk; an unfinished statement is told from a wrong one.
#pragma once

#include <string_view>

#include "lua/lua_call.h"

// What lua_eval_line made of a statement.
enum LuaEvalResult {
  kLuaEvalWrong = -1,       // it could not be compiled; the compiler's message was printed
  kLuaEvalRun = 0,          // it ran (its results, or its error and stack trace, were printed)
  kLuaEvalIncomplete = 1,   // it needs more lines
};

// Compiles "return <text>" under the chunk name "stdin" and, when that compiles, runs it with
// lua_call_and_print, so that an expression typed alone prints its values. Otherwise compiles
// the text itself: a syntax error whose message ends in "<eof>" means the statement goes on
// (kLuaEvalIncomplete); another one, or running out of memory, prints the message on
// `state.err` ("\e[0;31m" ... "\e[0m" with colours) and gives kLuaEvalWrong; a chunk that
// compiles is run with lua_call_and_print. Binary chunks are refused as a syntax error.
// `as_expression`, when given, is set to whether the text ran as "return <text>".
LuaEvalResult lua_eval_line(lua_State* L, std::string_view text, LuaPromptState& state,
                            bool* as_expression = nullptr);

// True when a syntax message tells of a statement cut short: at least six characters, the last
// five "<eof>".
bool lua_message_is_incomplete(std::string_view message);
