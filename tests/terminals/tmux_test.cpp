// tmux's own part of the terminal checks: its pane read back into cells.
#include <gtest/gtest.h>

#include "terminals/tmux_session.hpp"

namespace pagiste::testing {
namespace {

// The reading of capture-pane itself: colours carried from row to row and
// reset, bright colours, 256-colour indexes, UTF-8, short rows.
TEST(TmuxCapture, ColoursAndCharactersReadIntoCells) {
  const ScreenCells screen = ParseCapture(
      "\x1b[97m\x1b[44m a\xc3\xa9\x1b[93mb\n"
      "c\x1b[39;49m \x1b[38;5;15;48;5;1md\n"
      "\x1b[0mz\n",
      4, 5);
  EXPECT_EQ(screen.Row(1),
            " a\xc3\xa9"
            "b");
  EXPECT_EQ(screen.Colours(1), "WWWY.");
  EXPECT_EQ(screen.Row(2), "c d");
  EXPECT_EQ(screen.Colours(2), "Y.R..");
  EXPECT_EQ(screen.Colours(3), ".....");
  EXPECT_EQ(screen.Row(4), "");
  EXPECT_EQ(screen.At(3, 1).text, U"\u00e9");
}

}  // namespace
}  // namespace pagiste::testing
