#include "support/screen_cells.hpp"

#include "base/cp850.hpp"

namespace pagiste::testing {
namespace {

std::string Describe(const CellLook& look) {
  std::string text;
  for (const char32_t c : look.text) AppendUtf8(text, c);
  return "'" + text + "' fg " + std::to_string(look.foreground) + " bg " +
         std::to_string(look.background);
}

std::string CursorText(const ScreenCells& screen) {
  return std::to_string(screen.cursor_column) + "," + std::to_string(screen.cursor_row) +
         (screen.cursor_visible ? " shown" : " hidden");
}

std::string RowDifference(const ScreenCells& actual, const ScreenCells& expected, int row) {
  for (int column = 1; column <= actual.columns; ++column) {
    const CellLook& got = actual.At(column, row);
    const CellLook& wanted = expected.At(column, row);
    if (got == wanted) continue;
    return ", first at column " + std::to_string(column) + ": " + Describe(got) + " instead of " +
           Describe(wanted) + "\n  got  |" + actual.Row(row) + "\n  want |" + expected.Row(row) +
           "\n  got  " + actual.Colours(row) + "\n  want " + expected.Colours(row) + "\n";
  }
  return {};
}

}  // namespace

ScreenCells::ScreenCells(int rows, int columns)
    : rows(rows),
      columns(columns),
      cells(static_cast<std::size_t>(rows * columns), CellLook{U" ", -1, -1}) {}

CellLook& ScreenCells::At(int column, int row) {
  return cells.at(static_cast<std::size_t>((row - 1) * columns + column - 1));
}

const CellLook& ScreenCells::At(int column, int row) const {
  return cells.at(static_cast<std::size_t>((row - 1) * columns + column - 1));
}

std::string ScreenCells::Row(int row) const {
  std::string text;
  for (int column = 1; column <= columns; ++column) {
    for (const char32_t c : At(column, row).text) AppendUtf8(text, c);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string ScreenCells::Colours(int row) const {
  std::string letters;
  for (int column = 1; column <= columns; ++column) letters += ColourLetter(At(column, row));
  return letters;
}

std::string ScreenCells::Dump() const {
  std::string dump;
  for (int row = 1; row <= rows; ++row) {
    dump += Colours(row) + " |" + Row(row) + "\n";
  }
  return dump + "cursor " + CursorText(*this) + "\n";
}

ScreenCells Snapshot(const VirtualTerminal& terminal) {
  ScreenCells screen(terminal.Rows(), terminal.Columns());
  for (int row = 1; row <= screen.rows; ++row) {
    for (int column = 1; column <= screen.columns; ++column) {
      screen.At(column, row) = terminal.Cell(column, row);
    }
  }
  screen.cursor_column = terminal.CursorColumn();
  screen.cursor_row = terminal.CursorRow();
  screen.cursor_visible = terminal.CursorVisible();
  return screen;
}

std::string Differences(const ScreenCells& actual, const ScreenCells& expected) {
  if (actual.rows != expected.rows || actual.columns != expected.columns) {
    return "size " + std::to_string(actual.columns) + "x" + std::to_string(actual.rows) +
           " instead of " + std::to_string(expected.columns) + "x" + std::to_string(expected.rows) +
           "\n";
  }
  // Rows that differ alike are given once.
  std::string differences;
  std::string previous;
  int first_alike = 0;
  const auto flush = [&](int last_row) {
    if (previous.empty()) return;
    differences += "row " + std::to_string(first_alike);
    if (last_row > first_alike) differences += "-" + std::to_string(last_row);
    differences += previous;
  };
  for (int row = 1; row <= actual.rows; ++row) {
    std::string difference = RowDifference(actual, expected, row);
    if (difference == previous) continue;
    flush(row - 1);
    previous = std::move(difference);
    first_alike = row;
  }
  flush(actual.rows);
  if (CursorText(actual) != CursorText(expected)) {
    differences += "cursor " + CursorText(actual) + " instead of " + CursorText(expected) + "\n";
  }
  return differences;
}

}  // namespace pagiste::testing
