// A terminal's screen read at one moment, cell by cell, whichever terminal
// showed it: what two terminals show can then be compared.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/virtual_terminal.hpp"

namespace pagiste::testing {

struct ScreenCells {
  ScreenCells(int rows, int columns);

  // 1-based, like the program's own cursor.
  [[nodiscard]] CellLook& At(int column, int row);
  [[nodiscard]] const CellLook& At(int column, int row) const;
  [[nodiscard]] std::span<const CellLook> RowCells(int row) const;
  // As VirtualTerminal gives them: text without trailing blanks, one colour
  // letter per cell.
  [[nodiscard]] std::string Row(int row) const;
  [[nodiscard]] std::string Colours(int row) const;
  // Text and colour letters row by row, then the cursor, for failure messages.
  [[nodiscard]] std::string Dump() const;

  int rows;
  int columns;
  std::vector<CellLook> cells;  // row after row
  // A hidden cursor at column 0 is one whose place the terminal does not
  // tell: a picture of a window shows a hidden cursor nowhere.
  int cursor_column = 1;
  int cursor_row = 1;
  bool cursor_visible = true;
  // False for a terminal that erases with its default foreground whatever
  // the pen (xterm.js): the foreground of a blank cell shows nowhere, so there
  // a blank is compared by its background alone.
  bool blank_foreground_shown = true;
};

ScreenCells Snapshot(const VirtualTerminal& terminal);

// Whether the screen's cursor is the one wanted (see cursor_column).
bool CursorMatches(const ScreenCells& screen, int column, int row, bool visible);

// Each row whose cells differ (text, foreground or background; rows that
// differ alike given once), then the cursor; empty when both screens are the
// same. The one comparison of screens for the terminal checks.
std::string Differences(const ScreenCells& actual, const ScreenCells& expected);

std::u32string DecodeUtf8(std::string_view text);

}  // namespace pagiste::testing
