// The interactive shell: reads lines from the terminal, runs them as commands and prints
// events from the daemon while the user types.
#pragma once

#include <string>

#include "platform/json.h"

// Runs the interactive shell until "q", "quit" or Ctrl-D; returns 0 on a normal end, negative
// when the shell cannot start.
int shell_loop();

// The words of a typed line, the command word first: the tokens of the line, except that a line
// beginning with "lua " gives "lua" and everything after those four characters, unchanged, so
// that quotes and "#" reach Lua as typed.
k::Json shell_line_words(const std::string& line);
