// The two call wrappers around a statement of the Lua shell: a protected call under the
// traceback handler that reports errors in red, and the run of a loaded statement that prints
// and keeps its results as "_[1]", "_[2]", ...
#pragma once

#include <cstdio>

#include <lua.hpp>

#include "lua/text_buffer.h"

// What the wrappers read and update for one Lua shell session (the shell owns it).
struct LuaPromptState {
  // The colour switch: errors in red, result lines in green, bold in stack traces.
  bool colours = false;
  // The rendering buffer, reused by every result.
  TextBuffer buffer;
  // Registry reference of the results table (LUA_NOREF until it is made: the Lua shell makes it
  // before a statement runs, and lua_call_and_print makes it when there is none yet).
  int results_ref = LUA_NOREF;
  // The last key used in the results table; results are numbered across the session.
  int result_counter = 0;
  // The Lua state that completion works on; every protected call sets it.
  lua_State* completion_state = nullptr;
  // Where result lines and error reports go.
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

// Calls the function below the `nargs` arguments on top of the stack, keeping all its results,
// under the traceback message handler. On an error prints "\e[0;31m", the message with its
// stack trace and "\e[0m" on `state.err` (no colour pieces when colours are off) and pops it.
// Returns the status of lua_pcall (LUA_OK or an error code).
int lua_protected_call(lua_State* L, int nargs, LuaPromptState& state);

// With a loaded chunk on top of the stack: runs it protected, then for each of its results, in
// order, renders it, numbers it (the counter goes up by one), stores it in the results table
// under its number and prints "_[N] = text" (in green when colours are on) on `state.out`.
// Pops the chunk and its results; returns the call's status.
int lua_call_and_print(lua_State* L, LuaPromptState& state);

// Pushes the session's results table, making it (and its registry reference) when there is none.
// Returns false, pushing nothing, when Lua runs out of memory.
bool lua_push_results(lua_State* L, LuaPromptState& state);
