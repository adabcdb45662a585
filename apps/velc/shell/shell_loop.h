// The interactive shell: reads lines from the terminal, runs them as commands and prints
// events from the daemon while the user types.
#pragma once

// Runs the interactive shell until "q", "quit" or Ctrl-D; returns 0 on a normal end, negative
// when the shell cannot start.
int shell_loop();
