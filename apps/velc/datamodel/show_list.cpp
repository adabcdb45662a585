#include "datamodel/show_list.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/interrupt.h"
#include "platform/printable.h"

namespace k {

int terminal_columns() {
  winsize ws{};
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
    return ws.ws_col;
  return 80;
}

void show_list(json_t* words, bool escape, FILE* out) {
  std::vector<std::string> items;
  size_t i;
  json_t* w;
  json_array_foreach(words, i, w) {
    if (!json_is_string(w)) continue;
    std::string_view text(json_string_value(w), json_string_length(w));
    items.push_back(escape ? escape_controls(text) : std::string(text));
  }
  if (items.empty()) return;
  size_t widest = 0;
  for (const auto& s : items) widest = std::max(widest, s.size());
  size_t col_width = widest + 2;
  size_t columns = std::max<size_t>(1, static_cast<size_t>(terminal_columns()) / col_width);
  size_t rows = (items.size() + columns - 1) / columns;
  columns = (items.size() + rows - 1) / rows;
  std::string line;
  for (size_t r = 0; r < rows; ++r) {
    interrupt_check();  // Ctrl-C stops a long listing at the next line
    line.clear();
    for (size_t c = 0; c < columns; ++c) {
      size_t k = c * rows + r;
      if (k >= items.size()) break;
      line += items[k];
      bool last = c + 1 == columns || (c + 1) * rows + r >= items.size();
      if (!last) line.append(col_width - items[k].size(), ' ');
    }
    line += '\n';
    std::fputs(line.c_str(), out);
  }
}

}  // namespace k
