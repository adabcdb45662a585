// The line editor's history and its files. A history file holds one entry per line; it is
// created with mode 0600 and never opened through a symbolic link, since it lives in a shared
// folder (/tmp) where another user could plant a link to one of our files.
#pragma once

#include <string>

namespace k {

// At most this many of a file's latest entries are loaded, so a file that grows over many
// sessions does not slow the start down.
inline constexpr size_t kHistoryLoadMax = 1000;

// Appends the entries of a history file to the history. A missing file loads nothing and gives
// 0; a file that cannot be read (a symbolic link, no permission) gives -1.
int history_load(const std::string& path);
// Appends one entry.
void history_add(const std::string& line);
// Writes the latest `count` entries (all for -1) to `path`, oldest first, replacing its content.
// 0, or -1 when the file cannot be written (a symbolic link is refused).
int history_dump(const std::string& path, int count);
// Forgets every entry.
void history_clear();

}  // namespace k
