// The screens as a user must see them: text and colours row by row.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "questionnaire/questions.hpp"
#include "questionnaire/texts.hpp"
#include "support/program_run.hpp"
#include "support/screen_cells.hpp"
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
  void Answer(int row, const std::string& cp850) { Yellow(row, " " + cp850); }
  // Yellow text from column 1: the rest of an answer too long for its row.
  void Yellow(int row, const std::string& cp850) {
    Line(row, cp850);
    colours[static_cast<std::size_t>(row - 1)].replace(0, cp850.size(), cp850.size(), 'Y');
  }

  std::vector<std::string> text;
  std::vector<std::string> colours;
};

struct CursorAt {
  int column;
  int row;
  bool visible = true;
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

// The expected screen as cells, to be compared with what a terminal shows
// (Differences): W, Y, R and . read back as the colours ColourLetter gives
// them.
inline ScreenCells Cells(const ExpectedScreen& expected, CursorAt cursor) {
  const auto rows = static_cast<int>(expected.text.size());
  const auto columns = static_cast<int>(expected.colours.front().size());
  ScreenCells screen(rows, columns);
  for (int row = 1; row <= rows; ++row) {
    const auto index = static_cast<std::size_t>(row - 1);
    const std::u32string text = DecodeUtf8(expected.text[index]);
    for (int column = 1; column <= columns; ++column) {
      const auto at = static_cast<std::size_t>(column - 1);
      const char letter = expected.colours[index][at];
      CellLook& cell = screen.At(column, row);
      if (at < text.size()) cell.text = std::u32string(1, text[at]);
      cell.foreground = letter == 'Y' ? 14 : letter == '.' ? -1 : 15;
      cell.background = letter == 'R' ? 4 : letter == '.' ? -1 : 1;
    }
  }
  screen.cursor_column = cursor.column;
  screen.cursor_row = cursor.row;
  screen.cursor_visible = cursor.visible;
  return screen;
}

// The questions of one screen, as the questionnaire's own table has them.
inline std::vector<Question> QuestionsOf(int screen) {
  std::vector<Question> questions;
  for (const Question& question : kQuestions) {
    if (question.screen == screen) questions.push_back(question);
  }
  return questions;
}

// Screen 1 on 80 columns with the answers given so far (none wider than a
// row) and the next question asked.
inline ExpectedScreen ScreenOne(const std::vector<std::string>& answers, int rows = 25) {
  ExpectedScreen screen(rows, 80);
  screen.TitleBar(1);
  screen.Line(4, std::string(texts::kIntroduction[0]));
  screen.Line(5, std::string(texts::kIntroduction[1]));
  const std::vector<Question> questions = QuestionsOf(1);
  for (std::size_t i = 0; i <= answers.size() && i < questions.size(); ++i) {
    const int row = 7 + 3 * static_cast<int>(i);
    screen.Line(row, std::string(questions[i].prompt));
    screen.Answer(row + 1, i < answers.size() ? answers[i] : "");
  }
  return screen;
}

// Where screen 1 waits for the answer that follows those given.
inline CursorAt ScreenOneCursor(std::size_t answers_given) {
  return {2, 8 + 3 * static_cast<int>(answers_given)};
}

inline ExpectedScreen ScreenTwo(const std::vector<std::string>& answers) {
  ExpectedScreen screen(25, 80);
  screen.TitleBar(1);
  const std::vector<Question> questions = QuestionsOf(2);
  int row = 4;
  for (std::size_t i = 0; i <= answers.size() && i < questions.size(); ++i) {
    screen.Line(row++, std::string(questions[i].prompt));
    if (!questions[i].second_line.empty())
      screen.Line(row++, std::string(questions[i].second_line));
    screen.Answer(row, i < answers.size() ? answers[i] : "");
    row += 2;
  }
  return screen;
}

inline CursorAt ScreenTwoCursor(std::size_t answers_given) {
  return {2, answers_given < 4 ? 5 + 3 * static_cast<int>(answers_given) : 18};
}

inline ExpectedScreen ClosingScreen(int rows = 25, int columns = 80) {
  ExpectedScreen screen(rows, columns);
  screen.TitleBar(1);
  screen.Line(4, std::string(texts::kClosing[0]));
  screen.Line(6, std::string(texts::kClosing[1]));
  return screen;
}

// The closing screen waits with its cursor hidden below the last line.
constexpr CursorAt kClosingCursor{1, 7, false};

}  // namespace pagiste::testing
