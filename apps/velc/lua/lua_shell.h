// The Lua shell: an interactive read-evaluate-print loop over one interpreter, with its own
// prompt, history file, completion and numbered results.
#pragma once

#include <string>

#include "shell/client.h"

// The Lua shell's history file: "/tmp/.velc.lua.hist", or the file named by the environment
// variable VELC_LUA_HISTFILE when it is set and not empty.
std::string lua_history_path();

// Runs the Lua shell until Ctrl-D, "q" or "quit" on the first line of a statement, or the loss
// of the events connection; gives 0. What it prints (the preloaded modules, the results, Lua's
// `print` and `io.write`) goes to the client's output stream. The interpreter is fresh (the
// maker's modules preloaded, its requests on the client's connection) and goes when the shell
// ends. While it runs the line editor's history is the Lua history and Tab completes Lua; leaving
// writes the Lua history to its file and gives the shell its history back as it was. An active
// recording (`luarecord`) counts the statements entered into the history and is written when
// the shell is left.
int lua_shell(Client& client);
