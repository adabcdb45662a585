// `help`: the commands of the table with their usage and description.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "shell/command_handlers.h"
#include "shell/command_table.h"
#include "shell/prompt.h"

int cmd_help(const std::string&, json_t*) {
  // A sorted copy: lookups and first-word completion rely on the table's own order.
  std::vector<const CommandEntry*> rows;
  for (const CommandEntry& e : command_table) rows.push_back(&e);
  std::sort(rows.begin(), rows.end(), [](const CommandEntry* a, const CommandEntry* b) {
    return std::strcmp(a->name, b->name) < 0;
  });
  // Rows without usage or description (debug) are not shown.
  auto shown = [](const CommandEntry* e) { return e->usage && e->description; };
  int width = 0;
  for (const CommandEntry* e : rows)
    if (shown(e)) width = std::max(width, static_cast<int>(std::strlen(e->usage)));
  if (width == 0) {
    std::puts("No available help. Please refer to #15692");
    return 0;
  }
  for (const CommandEntry* e : rows) {
    if (!shown(e)) continue;
    colors_set_entry(kColourAutocomplete);
    std::printf("%-*s", width, e->usage);
    k::colors_reset();
    std::printf(" - %s\n", e->description);
  }
  return 0;
}
