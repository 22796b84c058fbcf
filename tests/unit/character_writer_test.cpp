#include "console/character_writer.hpp"

#include <gtest/gtest.h>

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
