#include "terminals/grid_screen.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "base/cp850.hpp"

namespace pagiste::testing {

char SeenLetter(char colour_letter, int background, bool blank) {
  if (!blank) return colour_letter;
  switch (background) {
    case 1:
      return 'b';
    case 4:
      return 'r';
    case -1:
      return '.';
    default:
      return '?';
  }
}

int PcColourFromAnsi(int ansi) {
  if (ansi < 0 || ansi > 15) return -2;
  const int base = ansi & 7;
  return (ansi & 8) | ((base & 1) << 2) | (base & 2) | ((base & 4) >> 2);
}

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string decoded;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length && i + k < text.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    decoded += c;
    i += static_cast<std::size_t>(length);
  }
  return decoded;
}

GridScreen::GridScreen(int rows, int columns)
    : rows_(rows),
      columns_(columns),
      cells_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns),
             CellLook{U" ", -1, -1}) {}

GridScreen GridScreen::Of(const VirtualTerminal& terminal) {
  GridScreen screen(terminal.Rows(), terminal.Columns());
  for (int row = 1; row <= screen.rows_; ++row) {
    for (int column = 1; column <= screen.columns_; ++column)
      screen.Cell(column, row) = terminal.Cell(column, row);
  }
  screen.SetCursor(terminal.CursorColumn(), terminal.CursorRow(), terminal.CursorVisible());
  return screen;
}

std::size_t GridScreen::Index(int column, int row) const {
  return static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(columns_) +
         static_cast<std::size_t>(column - 1);
}

const CellLook& GridScreen::Cell(int column, int row) const {
  return cells_.at(Index(column, row));
}

CellLook& GridScreen::Cell(int column, int row) {
  return cells_.at(Index(column, row));
}

std::string GridScreen::Row(int row) const {
  std::string text;
  for (int column = 1; column <= columns_; ++column) {
    for (const char32_t c : Cell(column, row).text) AppendUtf8(text, c);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string GridScreen::FlatText() const {
  std::string text;
  for (const CellLook& cell : cells_) {
    for (const char32_t c : cell.text) AppendUtf8(text, c);
  }
  return text;
}

std::string GridScreen::Colours(int row) const {
  std::string letters;
  for (int column = 1; column <= columns_; ++column) letters += ColourLetter(Cell(column, row));
  return letters;
}

std::string GridScreen::SeenColours(int row) const {
  std::string letters;
  for (int column = 1; column <= columns_; ++column) {
    const CellLook& cell = Cell(column, row);
    letters += SeenLetter(ColourLetter(cell), cell.background, cell.text == U" ");
  }
  return letters;
}

void GridScreen::SetCursor(int column, int row, bool visible) {
  cursor_column_ = column;
  cursor_row_ = row;
  cursor_visible_ = visible;
}

std::string GridScreen::Dump() const {
  std::ostringstream dump;
  dump << columns_ << " x " << rows_ << "\n";
  for (int row = 1; row <= rows_; ++row) {
    std::string text;
    for (int column = 1; column <= columns_; ++column) {
      for (const char32_t c : Cell(column, row).text) AppendUtf8(text, c);
    }
    dump << (row < 10 ? " " : "") << row << " |" << text << "| " << SeenColours(row) << "\n";
  }
  dump << "cursor " << cursor_column_ << ',' << cursor_row_
       << (cursor_visible_ ? " shown\n" : " hidden\n");
  return dump.str();
}

bool operator==(const GridScreen& left, const GridScreen& right) {
  if (left.rows_ != right.rows_ || left.columns_ != right.columns_) return false;
  for (int row = 1; row <= left.rows_; ++row) {
    if (left.Row(row) != right.Row(row) || left.SeenColours(row) != right.SeenColours(row))
      return false;
  }
  return left.cursor_column_ == right.cursor_column_ && left.cursor_row_ == right.cursor_row_ &&
         left.cursor_visible_ == right.cursor_visible_;
}

void ExpectSameScreen(const GridScreen& actual, const GridScreen& oracle) {
  if (actual == oracle) return;
  std::ostringstream differences;
  if (actual.Rows() != oracle.Rows() || actual.Columns() != oracle.Columns()) {
    differences << " size";
  } else {
    for (int row = 1; row <= oracle.Rows(); ++row) {
      if (actual.Row(row) != oracle.Row(row)) differences << " text of row " << row << ',';
      if (actual.SeenColours(row) != oracle.SeenColours(row))
        differences << " colours of row " << row << ',';
    }
  }
  if (actual.CursorColumn() != oracle.CursorColumn() || actual.CursorRow() != oracle.CursorRow() ||
      actual.CursorVisible() != oracle.CursorVisible())
    differences << " cursor";
  ADD_FAILURE() << "The terminal's screen differs from the one drawn at that size from the start:"
                << differences.str() << "\non the terminal:\n"
                << actual.Dump() << "drawn at that size from the start:\n"
                << oracle.Dump();
}

}  // namespace pagiste::testing
