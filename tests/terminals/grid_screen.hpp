// A terminal's screen as read at one moment, whatever the terminal: every
// cell with its colours, and the cursor. Reads like VirtualTerminal, so that
// the same expectations apply to both.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/virtual_terminal.hpp"

namespace pagiste::testing {

class GridScreen {
 public:
  GridScreen() : GridScreen(0, 0) {}
  GridScreen(int rows, int columns);
  static GridScreen Of(const VirtualTerminal& terminal);

  [[nodiscard]] int Rows() const { return rows_; }
  [[nodiscard]] int Columns() const { return columns_; }
  // Columns and rows from 1.
  [[nodiscard]] const CellLook& Cell(int column, int row) const;
  CellLook& Cell(int column, int row);
  // The row's text as UTF-8, trailing blanks removed.
  [[nodiscard]] std::string Row(int row) const;
  // Every cell's text, rows end to end: an answer wrapped by the program
  // reads in one piece.
  [[nodiscard]] std::string FlatText() const;
  [[nodiscard]] std::string Colours(int row) const;
  // The colours as a user sees them: the foreground of a blank cell shows
  // nowhere (terminals differ there: xterm.js erases with the default
  // foreground), so a blank reads by its background alone (SeenLetter).
  [[nodiscard]] std::string SeenColours(int row) const;

  void SetCursor(int column, int row, bool visible);
  [[nodiscard]] int CursorColumn() const { return cursor_column_; }
  [[nodiscard]] int CursorRow() const { return cursor_row_; }
  [[nodiscard]] bool CursorVisible() const { return cursor_visible_; }

  // Text and colour letters side by side, and the cursor, for messages.
  [[nodiscard]] std::string Dump() const;

  friend bool operator==(const GridScreen& left, const GridScreen& right);

 private:
  [[nodiscard]] std::size_t Index(int column, int row) const;

  int rows_;
  int columns_;
  std::vector<CellLook> cells_;
  int cursor_column_ = 1;
  int cursor_row_ = 1;
  bool cursor_visible_ = true;
};

// ColourLetter for a cell with text; for a blank one: b on blue, r on red, .
// on the default background, ? on any other.
char SeenLetter(char colour_letter, int background, bool blank);

// A PC colour index from a terminal palette index (red and blue trade
// places); -2 for colours outside the sixteen.
int PcColourFromAnsi(int ansi);

std::u32string DecodeUtf8(std::string_view text);

// Cell by cell, text, colours and cursor; the differing rows in the message.
void ExpectSameScreen(const GridScreen& actual, const GridScreen& oracle);

}  // namespace pagiste::testing
