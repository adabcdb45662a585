// velc's own table: the rows other parts of velc go by (that `help` leaves out the rows without a
// usage is tested with the shell).
#include "app/command_rows.h"

#include <gtest/gtest.h>

#include "shell/command_table.h"

namespace {

TEST(CommandRows, RowsOtherPartsGoBy) {
  const CommandEntry* debug = command_find_request(velc_commands(), "debug");
  ASSERT_TRUE(debug);
  EXPECT_FALSE(debug->usage);  // hidden from help, yet dispatched
  // `record` runs in the shell only; a line that may carry a password never reaches the history.
  EXPECT_FALSE(command_find_request(velc_commands(), "record"));
  for (const char* word : {"login", "login_if_guest"})
    EXPECT_TRUE(command_find(velc_commands(), word)->sensitive) << word;
}

}  // namespace
