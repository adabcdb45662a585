#include "platform/history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <string_view>

#include <readline/history.h>

#include "platform/socket.h"

namespace k {

int history_load(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return errno == ENOENT ? 0 : -1;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  std::string text;
  char chunk[8192];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
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

int history_dump(const std::string& path, int count) {
  // O_NONBLOCK: a planted FIFO must not hang the shell's end.
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
               0600));
  if (!fd) return -1;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  // An existing file keeps its old mode through open: tighten it (fails harmlessly when the
  // file is not ours).
  fchmod(fd.get(), 0600);
  HIST_ENTRY** entries = history_list();
  int total = history_length;
  int first = count < 0 || count > total ? 0 : total - count;
  std::string text;
  for (int i = first; entries && i < total; ++i) {
    if (!entries[i]) break;
    text += entries[i]->line;
    text += '\n';
  }
  return write_all(fd.get(), text.data(), text.size()) ? 0 : -1;
}

void history_clear() { clear_history(); }

}  // namespace k
