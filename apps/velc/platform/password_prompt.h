// Where a password comes from when it is not on the command line: asked for at the terminal
// (one line read without echo), or read from a file that only its owner may read.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace k {

// Prints `prompt` on `out`, reads one line from standard input (on a terminal with its echo off,
// restored however the read ends), prints on `out` the newline that the unechoed Enter did not,
// and gives the line without its newline. The end of input ends the line: nothing read gives an
// empty password. Throws Interrupted on Ctrl-C, with the echo back on.
std::string password_prompt(const std::string& prompt, FILE* out = stdout);

// The first line of a password file, without its newline (a file without one is a password of
// its own). Refused, like OpenSSH refuses a private key, unless it is a regular file (not a
// symbolic link) of the user that nobody else may read, write or execute: none, with the reason
// in `why`.
std::optional<std::string> password_file_read(const std::string& path, std::string& why);

}  // namespace k
