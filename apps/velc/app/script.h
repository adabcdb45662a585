// The runner of command scripts: the configuration script (through the shell's dispatch) and
// the file of script mode (through the request dispatch) are read and run by the same code.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include <jansson.h>

// Runs one command of a script: the command word and its argument array (a borrowed JSON array
// of strings, without the word). The command's status.
using ScriptDispatch = std::function<int(const char* word, json_t* args)>;

// Runs the command script at `path`, or standard input without one, line by line: logical lines
// as app/script_lines.h joins and splits them; "echo" prints on `out`, "sleep" sleeps (Ctrl-C
// cuts it short), every other line goes to `dispatch`. The status is the result of the last command
// that ran (0 when none did); a negative result stops the script and is returned. A file that
// cannot be opened prints "Cannot open script file %s" on `out` and gives -1; a line whose words
// are not UTF-8 text is not run: it prints "Script line %zu is not UTF-8 text." on `out` and
// gives -1. `out` is the stream of the commands' context, flushed before every command. What is
// wrong with the file itself goes to standard error, named "FILE:LINE: " (FILE "(standard
// input)" without a path), and gives -1: a line longer than kLineMax bytes ("line longer
// than N bytes", the script stops there), and a quote still open at the end ("quote opened here
// is never closed; the rest of the file was not run"). The input is closed at the end, standard
// input too. Throws k::Interrupted after Ctrl-C (under a k::InterruptScope), at the next line,
// in a read or at a blocking point.
int run_script(const std::optional<std::string>& path, const ScriptDispatch& dispatch,
               FILE* out = stdout);
