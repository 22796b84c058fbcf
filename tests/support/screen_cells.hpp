// A terminal's screen read at one moment, cell by cell, whichever terminal
// showed it: what two terminals show can then be compared.
#pragma once

#include <string>
#include <vector>

#include "support/virtual_terminal.hpp"

namespace pagiste::testing {

struct ScreenCells {
  ScreenCells(int rows, int columns);

  // 1-based, like the program's own cursor.
  [[nodiscard]] CellLook& At(int column, int row);
  [[nodiscard]] const CellLook& At(int column, int row) const;
  // As VirtualTerminal gives them: text without trailing blanks, one colour
  // letter per cell.
  [[nodiscard]] std::string Row(int row) const;
  [[nodiscard]] std::string Colours(int row) const;
  // Text and colour letters row by row, then the cursor, for failure messages.
  [[nodiscard]] std::string Dump() const;

  int rows;
  int columns;
  std::vector<CellLook> cells;  // row after row
  int cursor_column = 1;
  int cursor_row = 1;
  bool cursor_visible = true;
};

ScreenCells Snapshot(const VirtualTerminal& terminal);

// Each row whose cells differ (text, foreground or background), then the
// cursor; empty when both screens are the same.
std::string Differences(const ScreenCells& actual, const ScreenCells& expected);

}  // namespace pagiste::testing
