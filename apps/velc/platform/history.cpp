#include "platform/history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>
#include <utility>

#include <readline/history.h>

#include "platform/private_file.h"

namespace k {

namespace {

// A history file planted by another user, or one others may write to, is refused before
// anything is read from or written to it.
constexpr mode_t kOthersMayWrite = S_IWGRP | S_IWOTH;

// Opens a history file for writing and checks that it may be used.
Fd open_checked(const std::string& path, int flags, std::string& why) {
  return open_private_file(path, flags, kOthersMayWrite, why);
}

}  // namespace

int history_load(const std::string& path, std::string& why) {
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) return 0;
  std::optional<std::string> read = read_private_file(path, kOthersMayWrite, why);
  if (!read) return -1;
  const std::string text = std::move(*read);
  std::deque<std::string_view> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty()) continue;
    lines.push_back(line);
    if (lines.size() > kHistoryLoadMax) lines.pop_front();
  }
  for (std::string_view line : lines) add_history(std::string(line).c_str());
  return 0;
}

void history_add(const std::string& line) { add_history(line.c_str()); }

int history_dump(const std::string& path, int count, std::string& why) {
  std::vector<std::string> lines = history_entries();
  size_t total = lines.size();
  size_t first = count < 0 || static_cast<size_t>(count) > total ? 0 : total - count;
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(first));
  return history_file_write(path, lines, why);
}

int history_file_write(const std::string& path, const std::vector<std::string>& lines,
                       std::string& why) {
  // Not truncated on opening: a refused file must stay as it is.
  Fd fd = open_checked(path, O_WRONLY | O_CREAT, why);
  if (!fd) return -1;
  fchmod(fd.get(), 0600);  // an older file of ours may have a wider mode
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  if (ftruncate(fd.get(), 0) != 0 || !write_all(fd.get(), text.data(), text.size())) {
    why = std::strerror(errno);
    return -1;
  }
  return 0;
}

void history_clear() { clear_history(); }

std::vector<std::string> history_entries() {
  std::vector<std::string> lines;
  HIST_ENTRY** entries = history_list();
  for (int i = 0; entries && i < history_length && entries[i]; ++i)
    lines.emplace_back(entries[i]->line);
  return lines;
}

int history_file_touch(const std::string& path, std::string& why) {
  return open_checked(path, O_WRONLY | O_CREAT, why) ? 0 : -1;
}

HistoryFile::HistoryFile(std::string path) : path_(std::move(path)) {
  std::string why;
  if (history_load(path_, why) != 0) {
    std::printf("Warning: the history file %s is not used: %s.\n", path_.c_str(), why.c_str());
    usable_ = false;
  }
}

HistoryFile::~HistoryFile() {
  std::string why;
  if (usable_ && history_dump(path_, -1, why) != 0)
    std::printf("Warning: the history was not saved to %s: %s.\n", path_.c_str(), why.c_str());
  history_clear();
}

}  // namespace k
