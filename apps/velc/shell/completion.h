// What Tab offers and what the hint after the cursor shows, worked out from the command table
// and the schema cache (a level not fetched yet is fetched, and instances added by change events
// are fetched; nothing else reaches veld). Completing prints nothing and leaves the current and
// previous positions as they were; Ctrl-C while a level is fetched throws k::Interrupted.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/client.h"
#include "shell/command_table.h"

// The candidates for the word under the cursor of `line` (only the text before `cursor`
// counts). The first word offers the command names that begin with it, in table order; later
// words are completed by the rule of the command's row (CompletionKind). Each candidate
// replaces the typed fragment of the word: for a path the part after the word's last "." (an
// absolute ":name." candidate the whole word, ":" included), for a value the part after "=",
// for a file the part after the last "/", for a keyword or a command name the whole word.
std::vector<std::string> complete_line(CommandTable table, Client& client, const std::string& line,
                                       size_t cursor);

// Where, in the text before the cursor, the fragment starts that each candidate replaces.
//
// The possible starts lie within the word under the cursor: its beginning (after the last blank
// outside quotes), and the places just after its last quote, its last "=", its last "." and its
// last "/". The earliest of them whose fragment every candidate begins with, without regard to
// case, is the start: so a value that itself holds a "." ("802.11ac" after "Standard=802.") or
// a file name with a "." but no folder ("fw.bin" after "fw.") replaces everything typed of it,
// while a path's child ("Hosts." after "Device.Ho") replaces only the part after the "."; and a
// keyword or command name typed in another case is put in the candidate's own spelling. When no
// start fits (candidates that do not continue the typed text), the start is the one the typed
// text alone suggests: after the later of the last "." and the last "=" (after the quote that
// follows the "="), after the last "/" when there is one, after the last blank when that is
// later still.
size_t completion_fragment_start(const std::string& before_cursor,
                                 const std::vector<std::string>& candidates);

// The rest of the one candidate for the line's last word (the cursor at the line's end): the
// candidate less as many bytes as the typed fragment has (see completion_fragment_start), or
// the whole candidate when it is shorter than that. None for an empty line and when there is not
// exactly one candidate. Cheap also where Tab would offer thousands: it stops at the second.
std::optional<std::string> hint_line(CommandTable table, Client& client, const std::string& line);
