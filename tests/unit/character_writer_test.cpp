#include "console/character_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/virtual_terminal.hpp"

namespace pagiste {
namespace {

using testing::VirtualTerminal;

// The writer's bytes go through a real terminal emulator; after every
// statement its cursor and the emulator's must agree.
class WriterOnTerminal : public ::testing::Test {
 protected:
  explicit WriterOnTerminal(WindowSize size = {80, 25})
      : writer_(size, 0x07), terminal_(size.rows, size.columns) {
    writer_.SetBackground(kBlue);
    writer_.SetForeground(kWhite);
    writer_.ClearScreen();
    Show();
  }

  std::string Write(std::string_view text) {
    writer_.WriteText(text);
    return Show();
  }

  std::string Show() {
    std::string bytes = writer_.TakeOutput();
    terminal_.Feed(bytes);
    EXPECT_EQ(terminal_.CursorColumn(), writer_.Cursor().column) << terminal_.Dump();
    EXPECT_EQ(terminal_.CursorRow(), writer_.Cursor().row) << terminal_.Dump();
    return bytes;
  }

  CharacterWriter writer_;
  VirtualTerminal terminal_;
};

TEST_F(WriterOnTerminal, ClearingPaintsTheWholeWindowAndHomesTheCursor) {
  Write("some text");
  writer_.SetBackground(kRed);
  writer_.ClearScreen();
  Show();
  for (int row = 1; row <= 25; ++row)
    EXPECT_EQ(terminal_.Colours(row), std::string(80, 'R')) << row;
  EXPECT_EQ(writer_.Cursor(), (Position{1, 1}));
}

TEST_F(WriterOnTerminal, ALineAsWideAsTheWindowLeavesAnEmptyRowAfterItsLineEnd) {
  Write(std::string(80, 'x'));
  EXPECT_EQ(writer_.Cursor(), (Position{1, 2}));
  Write("\r\n");
  Write("next");
  EXPECT_EQ(terminal_.Row(1), std::string(80, 'x'));
  EXPECT_EQ(terminal_.Row(2), "");
  EXPECT_EQ(terminal_.Row(3), "next");
}

TEST_F(WriterOnTerminal, TheBottomRightCellScrollsAtOnceAndTheNewRowIsBlankInTheCurrentColours) {
  Write("top row");
  for (int row = 1; row < 25; ++row) Write("\r\n");
  ASSERT_EQ(terminal_.Row(1), "top row");
  writer_.SetForeground(kYellow);
  writer_.SetBackground(kRed);
  Write(std::string(80, 'z'));  // fills row 25, ending in its last cell
  EXPECT_EQ(writer_.Cursor(), (Position{1, 25}));
  EXPECT_EQ(terminal_.Row(1), "");
  EXPECT_EQ(terminal_.Row(24), std::string(80, 'z'));
  EXPECT_EQ(terminal_.Row(25), "");
  for (int column = 1; column <= 80; ++column) {
    EXPECT_EQ(terminal_.Cell(column, 25).background, kRed) << column;
    EXPECT_EQ(terminal_.Cell(column, 25).foreground, kYellow) << column;
  }
}

TEST_F(WriterOnTerminal, ScrollingLosesTheTopRow) {
  Write("first");
  for (int row = 1; row < 25; ++row) Write("\r\n");
  Write("last");
  Write("\r\n");
  EXPECT_EQ(terminal_.Row(1), "");
  EXPECT_EQ(terminal_.Row(24), "last");
  EXPECT_EQ(writer_.Cursor(), (Position{1, 25}));
}

TEST_F(WriterOnTerminal, ControlCodes) {
  Write("\b");  // in column 1: nothing
  EXPECT_EQ(writer_.Cursor(), (Position{1, 1}));
  Write("ab\a");  // the bell writes nothing
  EXPECT_EQ(writer_.Cursor(), (Position{3, 1}));
  Write("\n");  // a lone line feed keeps the column
  EXPECT_EQ(writer_.Cursor(), (Position{3, 2}));
  Write("\t\x01\x1b\x7f");  // shown as the PC font's symbols, one cell each
  EXPECT_EQ(terminal_.Row(2), "  ○☺←⌂");
  Write("\b\bX");
  EXPECT_EQ(terminal_.Row(2), "  ○☺X⌂");
}

TEST_F(WriterOnTerminal, AccentedLettersReachTheTerminalAsUtf8) {
  Write("Pr\x82nom \x85 c\x8A");
  EXPECT_EQ(terminal_.Row(1), "Prénom à cè");
}

TEST_F(WriterOnTerminal, ColoursBelongToTheCellsWritten) {
  Write("w");
  writer_.SetForeground(kYellow);
  Write("y");
  writer_.SetForeground(kWhite);
  writer_.SetBackground(kRed);
  Write("r");
  EXPECT_EQ(terminal_.Colours(1).substr(0, 4), "WYRW");
}

TEST_F(WriterOnTerminal, TypingAtTheEndOfALineSendsTheCharacterAlone) {
  Write("abc");
  EXPECT_EQ(Write("d"), "d");
  EXPECT_EQ(Write("\x82"), "\xC3\xA9");
  EXPECT_EQ(Write(""), "");
}

TEST_F(WriterOnTerminal, StepBackClimbsOntoTheRowAboveAfterAWrap) {
  Write(std::string(81, 'q'));
  EXPECT_EQ(writer_.Cursor(), (Position{2, 2}));
  writer_.StepBack();
  writer_.StepBack();
  writer_.PlaceCursor();
  Show();
  EXPECT_EQ(writer_.Cursor(), (Position{80, 1}));
  writer_.StepBack();
  writer_.PlaceCursor();
  Show();
  EXPECT_EQ(writer_.Cursor(), (Position{79, 1}));
}

TEST_F(WriterOnTerminal, TheCursorCanBeHiddenAndShown) {
  writer_.HideCursor();
  Show();
  EXPECT_FALSE(terminal_.CursorVisible());
  writer_.ShowCursor();
  Show();
  EXPECT_TRUE(terminal_.CursorVisible());
}

// Where the terminal erases in its own default colours, clearing paints every
// cell instead, and never asks the terminal to erase.
TEST(ClearingByPainting, EveryCellBecomesABlankInTheCurrentColours) {
  for (const WindowSize size : {WindowSize{80, 25}, WindowSize{1, 1}, WindowSize{7, 3}}) {
    CharacterWriter writer(size, 0x07, ClearMethod::kPaintCells);
    VirtualTerminal terminal(size.rows, size.columns);
    writer.SetBackground(kRed);
    writer.WriteText(std::string(static_cast<std::size_t>(size.columns * size.rows), 'x'));
    writer.SetBackground(kBlue);
    writer.SetForeground(kWhite);
    writer.ClearScreen();
    const std::string bytes = writer.TakeOutput();
    terminal.Feed(bytes);
    EXPECT_EQ(bytes.find("\x1b[2J"), std::string::npos);
    EXPECT_EQ(bytes.find("\x1b[K"), std::string::npos);
    for (int row = 1; row <= size.rows; ++row) {
      EXPECT_EQ(terminal.Row(row), "") << size.columns << "x" << size.rows << " row " << row;
      EXPECT_EQ(terminal.Colours(row), std::string(static_cast<std::size_t>(size.columns), 'W'));
    }
    EXPECT_EQ(terminal.CursorColumn(), 1);
    EXPECT_EQ(terminal.CursorRow(), 1);
  }
}

// A screen drawn, then the window resized: the terminal must show what a
// writer of that size would have drawn from the start.
void DrawAForm(CharacterWriter& writer) {
  writer.SetBackground(kBlue);
  writer.SetForeground(kWhite);
  writer.ClearScreen();
  writer.ShowCursor();
  writer.SetBackground(kRed);
  writer.WriteText(" Pagiste 4" + std::string(70, ' '));
  writer.WriteText("\r\n");
  writer.SetBackground(kBlue);
  writer.WriteText("\r\n A question :\r\n");
  writer.SetForeground(kYellow);
  writer.WriteText(" " + std::string(100, 'a'));
  writer.StepBack();
  writer.StepBack();
  writer.PlaceCursor();
  writer.WriteText("Z");
  writer.SetForeground(kWhite);
}

TEST(Resizing, TheScreenIsDrawnAgainAsIfAtTheNewSizeFromTheStart) {
  for (const ClearMethod method : {ClearMethod::kErase, ClearMethod::kPaintCells}) {
    for (const WindowSize size : {WindowSize{60, 25}, WindowSize{100, 30}, WindowSize{20, 5}}) {
      CharacterWriter resized({80, 25}, 0x07, method);
      VirtualTerminal shown(25, 80);
      DrawAForm(resized);
      shown.Feed(resized.TakeOutput());
      shown.Resize(size.rows, size.columns);
      resized.Resize(size);
      shown.Feed(resized.TakeOutput());

      CharacterWriter fresh(size, 0x07, method);
      VirtualTerminal expected(size.rows, size.columns);
      DrawAForm(fresh);
      expected.Feed(fresh.TakeOutput());
      const std::string what = std::to_string(size.columns) + "x" + std::to_string(size.rows);
      for (int row = 1; row <= size.rows; ++row) {
        EXPECT_EQ(shown.Row(row), expected.Row(row)) << what << " row " << row << "\n"
                                                     << shown.Dump();
        EXPECT_EQ(shown.Colours(row), expected.Colours(row)) << what << " row " << row;
      }
      EXPECT_EQ(shown.CursorColumn(), expected.CursorColumn()) << what;
      EXPECT_EQ(shown.CursorRow(), expected.CursorRow()) << what;
      EXPECT_EQ(resized.Cursor(), fresh.Cursor()) << what;
      EXPECT_TRUE(shown.CursorVisible()) << what;
    }
  }
}

TEST(Resizing, NothingDrawnYetSendsNothingAndADrawnScreenIsReplayedOnce) {
  CharacterWriter writer({80, 25}, 0x07);
  writer.Resize({60, 20});
  EXPECT_FALSE(writer.HasOutput()) << "nothing drawn yet, nothing to draw again";
  DrawAForm(writer);
  writer.TakeOutput();
  writer.Resize({60, 20});
  const std::string redraw = writer.TakeOutput();
  // The 100 letters typed and the one in "Pagiste", each drawn once again.
  EXPECT_EQ(std::count(redraw.begin(), redraw.end(), 'a'), 100 + 1);
  EXPECT_EQ(redraw.find("\x1b[2J"), redraw.rfind("\x1b[2J")) << "cleared once";
}

class WideWriterOnTerminal : public WriterOnTerminal {
 protected:
  WideWriterOnTerminal() : WriterOnTerminal(WindowSize{300, 300}) {}
};

TEST_F(WideWriterOnTerminal, LargeWindowsAreServedWhole) {
  Write(std::string(299, 'w'));
  EXPECT_EQ(writer_.Cursor(), (Position{300, 1}));
  for (int row = 1; row < 300; ++row) Write("\r\n");
  Write("bottom");
  EXPECT_EQ(writer_.Cursor(), (Position{7, 300}));
  EXPECT_EQ(terminal_.Row(300), "bottom");
}

}  // namespace
}  // namespace pagiste
