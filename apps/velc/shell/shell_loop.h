// The interactive shell: reads lines from the terminal, runs them as commands of the table and
// prints events from veld while the user types.
#pragma once

#include <string>

#include "link/session.h"
#include "platform/colors.h"
#include "platform/json.h"
#include "shell/command_table.h"

// Runs the interactive shell on a connected session until "q", "quit", Ctrl-D or the loss of the
// events connection, with the colours and the editor's switches as the user set them so far;
// returns 0, or -1 when the schema cache cannot be made at start. With
// `login_local_user`, the local system user is logged in first when nobody is (see try_login).
int shell_loop(CommandTable table, Session& session, k::ColourTable& colours,
               k::EditorSwitches& editor, bool login_local_user);

// The words of a typed line, the command word first: the tokens of the line, except that a line
// beginning with "lua " gives "lua" and everything after those four characters, unchanged, so
// that quotes and "#" reach Lua as typed.
k::Json shell_line_words(const std::string& line);
