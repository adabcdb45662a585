#include "shell/help.h"

#include <gtest/gtest.h>

#include "testing/stdout_capture.h"

namespace {

int handler(Client&, const std::string&, json_t*) { return 0; }

TEST(Help, ListsRowsWithHandlerUsageAndDescriptionSortedAndPadded) {
  constexpr CommandEntry rows[] = {
      command_row({.name = "up", .id = 39, .handler = handler, .usage = "up [<levels>]",
                   .description = "cd to upper level node"}),
      command_row({.name = "cd", .id = 4, .handler = handler, .usage = "cd <path>",
                   .description = "cd to the node"}),
      command_row({.name = "debug", .id = 8, .handler = handler}),  // no usage: not listed
      command_row({.name = "attr", .id = 15, .usage = "attr [<path1> <path2>...]",
                   .description = "show node's attributes"}),  // no handler: not listed
  };
  EXPECT_EQ(output_of([&] { help_print(rows, k::ColourTable{}, stdout); }),
            "cd <path>     - cd to the node\n"
            "up [<levels>] - cd to upper level node\n");
  EXPECT_EQ(output_of([&] { help_print(CommandTable(rows).subspan(2), k::ColourTable{}, stdout); }),
            "No available help. Please refer to #15692\n");
}

}  // namespace
