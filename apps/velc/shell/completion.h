// What Tab offers and what the hint after the cursor shows, worked out from the command table
// and the schema cache (a level not fetched yet is fetched; nothing else reaches veld).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "datamodel/client.h"
#include "shell/command_table.h"

// The candidates for the word under the cursor of `line` (only the text before `cursor`
// counts), chosen by the completion kind of the line's command; command names in table order
// for the first word. Each candidate replaces the part of the word after its last separator.
std::vector<std::string> complete_line(CommandTable table, Client& client, const std::string& line,
                                       size_t cursor);

// Where, in the text before the cursor, the fragment starts that each candidate replaces.
size_t completion_fragment_start(const std::string& before_cursor,
                                 const std::vector<std::string>& candidates);

// The rest of the one candidate for the line's last word, to show after the cursor; none when
// there is not exactly one.
std::optional<std::string> hint_line(CommandTable table, Client& client, const std::string& line);
