#include "support/screen_cells.hpp"

#include <algorithm>

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

bool SameCell(const CellLook& got, const CellLook& wanted, bool blank_foreground_shown) {
  if (got == wanted) return true;
  const bool blank = got.text == U" " && wanted.text == U" ";
  return blank && !blank_foreground_shown && got.background == wanted.background;
}

std::string RowDifference(const ScreenCells& actual, const ScreenCells& expected, int row) {
  const bool blank_foreground_shown =
      actual.blank_foreground_shown && expected.blank_foreground_shown;
  for (int column = 1; column <= actual.columns; ++column) {
    const CellLook& got = actual.At(column, row);
    const CellLook& wanted = expected.At(column, row);
    if (SameCell(got, wanted, blank_foreground_shown)) continue;
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

std::span<const CellLook> ScreenCells::RowCells(int row) const {
  return std::span(cells).subspan(
      static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(columns),
      static_cast<std::size_t>(columns));
}

std::string ScreenCells::Row(int row) const {
  return TextOf(RowCells(row));
}

std::string ScreenCells::Colours(int row) const {
  return ColoursOf(RowCells(row));
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
    const std::vector<CellLook> cells = terminal.RowCells(row);
    std::copy(cells.begin(), cells.end(),
              screen.cells.begin() + static_cast<std::ptrdiff_t>(row - 1) * screen.columns);
  }
  screen.cursor_column = terminal.CursorColumn();
  screen.cursor_row = terminal.CursorRow();
  screen.cursor_visible = terminal.CursorVisible();
  return screen;
}

bool CursorMatches(const ScreenCells& screen, int column, int row, bool visible) {
  if (screen.cursor_visible != visible) return false;
  const bool place_untold = !visible && (screen.cursor_column == 0 || column == 0);
  return place_untold || (screen.cursor_column == column && screen.cursor_row == row);
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
  if (!CursorMatches(actual, expected.cursor_column, expected.cursor_row,
                     expected.cursor_visible)) {
    differences += "cursor " + CursorText(actual) + " instead of " + CursorText(expected) + "\n";
  }
  return differences;
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

}  // namespace pagiste::testing
