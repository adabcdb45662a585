// The line editor's history and its files. A history file lives in a shared folder (/tmp), where
// another user could plant a file, a link or a FIFO under its name: it is used only when it is
// a regular file of this user that nobody else may write, it is created with mode 0600, and it
// is never opened through a symbolic link or waited on.
#pragma once

#include <string>
#include <vector>

namespace k {

// At most this many of a file's latest entries are loaded, so a file that grows over many
// sessions does not slow the start down.
inline constexpr size_t kHistoryLoadMax = 1000;

// Appends the entries of a history file to the history. A missing file loads nothing and gives
// 0; a file that is refused or cannot be read gives -1 with the reason in `why` ("it is owned
// by another user", ...).
int history_load(const std::string& path, std::string& why);
// Appends one entry.
void history_add(const std::string& line);
// Writes the latest `count` entries (all for -1) to `path`, oldest first, replacing its content.
// 0, or -1 with the reason in `why` when the file is refused or cannot be written.
int history_dump(const std::string& path, int count, std::string& why);
// Writes `lines` to `path`, each followed by a newline, replacing its content, with the checks
// of a history file: the session recorder writes its file so. 0, or -1 with the reason in `why`.
int history_file_write(const std::string& path, const std::vector<std::string>& lines,
                       std::string& why);
// Forgets every entry.
void history_clear();
// Every entry, oldest first: what a nested editor (the Lua shell) puts back when it hands the
// history over again.
std::vector<std::string> history_entries();

// Makes sure that a file exists which history_dump may write: creates it empty with mode 0600
// when missing and leaves an existing one as it is. 0, or -1 with the reason in `why` when it
// cannot be created or is refused on the same grounds as a history file (a symbolic link, not a
// regular file, another user's, writable by others). The session recorder makes its file so.
int history_file_touch(const std::string& path, std::string& why);

// The editor's history bound to a file for a scope: the file's entries are loaded at the start,
// and at the end the history is written back to it and cleared, however the scope ends. A file
// that may not be used (another user's, writable by others, not a regular file) is left alone:
// a warning says so, and the history of this scope is not saved.
class HistoryFile {
 public:
  explicit HistoryFile(std::string path);
  ~HistoryFile();
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;

 private:
  std::string path_;
  bool usable_ = true;
};

}  // namespace k
