#include "shell/help.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

int help_print(CommandTable table, const k::ColourTable& colours, FILE* out) {
  // A sorted copy: lookups rely on the table's own order.
  std::vector<const CommandEntry*> rows;
  for (const CommandEntry& e : table)
    if (e.handler && e.usage && e.description) rows.push_back(&e);
  std::sort(rows.begin(), rows.end(), [](const CommandEntry* a, const CommandEntry* b) {
    return std::strcmp(a->name, b->name) < 0;
  });
  int width = 0;
  for (const CommandEntry* e : rows) width = std::max(width, static_cast<int>(std::strlen(e->usage)));
  if (width == 0) {
    std::fputs("No available help. Please refer to #15692\n", out);
    return 0;
  }
  for (const CommandEntry* e : rows) {
    colours.set(k::kColourAutocomplete, out);
    std::fprintf(out, "%-*s", width, e->usage);
    colours.reset(out);
    std::fprintf(out, " - %s\n", e->description);
  }
  return 0;
}
