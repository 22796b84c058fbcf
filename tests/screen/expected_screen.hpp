// The screens as a user must see them: text and colours row by row.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "questionnaire/texts.hpp"
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

// The forms' prompts, shared with the checks on real terminals.
inline const std::vector<std::string> kScreenOnePrompts = {
    std::string(texts::kNom),   std::string(texts::kPrenom), std::string(texts::kAdresse),
    std::string(texts::kEmail), std::string(texts::kEmail2), std::string(texts::kTelFixe),
};
inline const std::vector<std::string> kScreenTwoPrompts = {
    std::string(texts::kTelPortable),
    std::string(texts::kDateNaissance),
    std::string(texts::kCommentaire),
    std::string(texts::kCheminPhoto),
};

// Screen 1 on 80 x 25 with the answers given so far (none wider than a row).
inline ExpectedScreen ScreenOne(const std::vector<std::string>& answers, int rows = 25) {
  ExpectedScreen screen(rows, 80);
  screen.TitleBar(1);
  screen.Line(4, std::string(texts::kIntroduction[0]));
  screen.Line(5, std::string(texts::kIntroduction[1]));
  for (std::size_t i = 0; i <= answers.size() && i < kScreenOnePrompts.size(); ++i) {
    const int row = 7 + 3 * static_cast<int>(i);
    screen.Line(row, kScreenOnePrompts[i]);
    screen.Answer(row + 1, i < answers.size() ? answers[i] : "");
  }
  return screen;
}

inline ExpectedScreen ScreenTwo(const std::vector<std::string>& answers) {
  ExpectedScreen screen(25, 80);
  screen.TitleBar(1);
  for (std::size_t i = 0; i <= answers.size() && i < kScreenTwoPrompts.size(); ++i) {
    const int row = 4 + 3 * static_cast<int>(i);
    screen.Line(row, kScreenTwoPrompts[i]);
    screen.Answer(row + 1, i < answers.size() ? answers[i] : "");
  }
  if (answers.size() >= kScreenTwoPrompts.size()) {
    screen.Line(16, std::string(texts::kSkin));
    screen.Line(17, std::string(texts::kSkinWarning));
    screen.Answer(18, answers.size() > 4 ? answers[4] : "");
  }
  return screen;
}

inline ExpectedScreen ClosingScreen(int rows = 25, int columns = 80) {
  ExpectedScreen screen(rows, columns);
  screen.TitleBar(1);
  screen.Line(4, std::string(texts::kClosing[0]));
  screen.Line(6, std::string(texts::kClosing[1]));
  return screen;
}

}  // namespace pagiste::testing
