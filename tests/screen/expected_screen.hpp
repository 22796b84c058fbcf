// The screens as a user must see them: text and colours row by row.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program_run.hpp"
#include "support/virtual_terminal.hpp"

namespace pagiste::testing {

struct ExpectedScreen {
  ExpectedScreen(int rows, int columns)
      : text(static_cast<std::size_t>(rows)),
        colours(static_cast<std::size_t>(rows),
                std::string(static_cast<std::size_t>(columns), 'W')) {}

  // Rows from 1; text in code page 850 as the program holds it.
  void Line(int row, const std::string& cp850) {
    std::string shown = Utf8FromCp850(cp850);
    while (!shown.empty() && shown.back() == ' ')
      shown.pop_back();  // as VirtualTerminal::Row gives it
    text[static_cast<std::size_t>(row - 1)] = shown;
  }
  void TitleBar(int row) {
    Line(row, " Pagiste 4");
    colours[static_cast<std::size_t>(row - 1)].replace(0, 80, 80, 'R');
  }
  // A yellow answer after its yellow space, from column 1.
  void Answer(int row, const std::string& cp850) {
    Line(row, " " + cp850);
    colours[static_cast<std::size_t>(row - 1)].replace(0, cp850.size() + 1, cp850.size() + 1, 'Y');
  }

  std::vector<std::string> text;
  std::vector<std::string> colours;
};

inline void ExpectScreen(const VirtualTerminal& screen, const ExpectedScreen& expected,
                         int cursor_column, int cursor_row, bool cursor_visible = true) {
  for (int row = 1; row <= screen.Rows(); ++row) {
    const auto index = static_cast<std::size_t>(row - 1);
    EXPECT_EQ(screen.Row(row), expected.text[index]) << "row " << row << "\n" << screen.Dump();
    EXPECT_EQ(screen.Colours(row), expected.colours[index]) << "row " << row;
  }
  EXPECT_EQ(screen.CursorColumn(), cursor_column) << screen.Dump();
  EXPECT_EQ(screen.CursorRow(), cursor_row) << screen.Dump();
  EXPECT_EQ(screen.CursorVisible(), cursor_visible);
}

}  // namespace pagiste::testing
