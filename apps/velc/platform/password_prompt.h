// Asking for a password: the prompt, then one line read from standard input without echo.
#pragma once

#include <string>

namespace k {

// Prints `prompt`, reads one line from standard input (on a terminal with its echo off, restored
// however the read ends), prints the newline that the unechoed Enter did not, and gives the line
// without its newline. The end of input ends the line: nothing read gives an empty password.
// Throws Interrupted on Ctrl-C, with the echo back on.
std::string password_prompt(const std::string& prompt);

}  // namespace k
