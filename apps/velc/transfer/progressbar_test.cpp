// The progress bar: right of the room of the marks, back to where they stopped, or nothing.
#include "transfer/progressbar.h"

#include <gtest/gtest.h>

namespace {

TEST(Progressbar, DrawnRightOfTheMarksOrNotAtAll) {
  // "Flashing:" (9), a blank, 50 marks and a blank of gap: the bar starts at column 61.
  const struct {
    int percent;
    const char* label;
    int columns;
    const char* text;
  } cases[] = {
      {42, "Flashing:", 80, "\0337\r\033[61C[####......]  42%\0338"},
      {100, "Flashing:", 78, "\0337\r\033[61C[##########] 100%\0338"},
      {0, "", 80, "\0337\r\033[52C[..........]   0%\0338"},
      {50, "Flashing:", 77, ""},  // one column short: the marks stay alone
  };
  for (const auto& c : cases)
    EXPECT_EQ(k::progressbar_text(c.percent, c.label, c.columns), c.text) << c.percent;
}

}  // namespace
