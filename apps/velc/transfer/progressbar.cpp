#include "transfer/progressbar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace k {

std::string progressbar_text(int percent, std::string_view label, int columns) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  // The label, its blank, the marks and one blank of gap.
  int start = static_cast<int>(label.size()) + 1 + kProgressMarksMax + 1;
  if (columns < start + kProgressbarWidth) return {};
  std::string bar = "[";
  for (int cell = 0; cell < 10; ++cell) bar += cell < percent / 10 ? '#' : '.';
  char tail[16];
  std::snprintf(tail, sizeof tail, "] %3d%%", percent);
  bar += tail;
  // Save the cursor, go to the bar's column of this line, draw, and come back.
  return "\0337\r\033[" + std::to_string(start) + "C" + bar + "\0338";
}

void draw_progressbar(int percent, std::string_view label, FILE* out) {
  int fd = fileno(out);
  if (fd < 0 || !isatty(fd)) return;
  winsize ws{};
  if (ioctl(fd, TIOCGWINSZ, &ws) != 0) return;
  std::string text = progressbar_text(percent, label, ws.ws_col);
  if (text.empty()) return;
  std::fputs(text.c_str(), out);
  std::fflush(out);
}

}  // namespace k
