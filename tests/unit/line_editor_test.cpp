#include "console/line_editor.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/virtual_terminal.hpp"

namespace pagiste {
namespace {

const Key kHome{Key::Kind::kHome, 0};
const Key kEnd{Key::Kind::kEnd, 0};
const Key kLeft{Key::Kind::kLeft, 0};
const Key kRight{Key::Kind::kRight, 0};
Key Char(std::uint8_t code) {
  return Key{Key::Kind::kCharacter, code};
}
const Key kEnter = Char(13);
const Key kBackspace = Char(8);
const Key kEsc = Char(27);

// Keys go through the editor; its echo goes through a terminal emulator.
class Editing : public ::testing::Test {
 protected:
  Editing() : writer_(WindowSize{80, 25}, 0x1E), editor_(writer_), terminal_(25, 80) {
    writer_.ClearScreen();
    writer_.WriteText(" ");  // the answer starts in column 2, as in the questionnaire
    Show();
  }

  bool Press(const Key& key) {
    const bool finished = editor_.Press(key);
    Show();
    return finished;
  }

  void Type(std::string_view text) {
    for (const char c : text) EXPECT_FALSE(Press(Char(static_cast<std::uint8_t>(c))));
  }

  std::string Enter() {
    EXPECT_TRUE(Press(kEnter));
    return editor_.TakeLine();
  }

  void Show() { terminal_.Feed(writer_.TakeOutput()); }

  [[nodiscard]] int CursorColumn() const { return terminal_.CursorColumn(); }

  CharacterWriter writer_;
  LineEditor editor_;
  testing::VirtualTerminal terminal_;
};

TEST_F(Editing, EnterAloneGivesAnEmptyLineAndTheNextRow) {
  EXPECT_EQ(Enter(), "");
  EXPECT_EQ(terminal_.CursorRow(), 2);
  EXPECT_EQ(CursorColumn(), 1);
}

TEST_F(Editing, TypingAfterLeftReplacesAndTheLengthGrowsOnlyAtTheEnd) {
  Type("abc");
  Press(kLeft);
  Press(kLeft);
  Type("XYZ");
  EXPECT_EQ(terminal_.Row(1), " aXYZ");
  EXPECT_EQ(Enter(), "aXYZ");
}

TEST_F(Editing, EnterInTheMiddleHandsOverTheWholeLine) {
  Type("hello");
  Press(kHome);
  Press(kRight);
  EXPECT_EQ(CursorColumn(), 3);
  EXPECT_EQ(Enter(), "hello");
}

TEST_F(Editing, BackspaceErasesOnlyAtTheEnd) {
  Type("abcd");
  Press(kBackspace);
  Press(Char(19));  // Ctrl+S does the same
  EXPECT_EQ(terminal_.Row(1), " ab");
  EXPECT_EQ(CursorColumn(), 4);
  Press(kLeft);
  Press(kBackspace);
  EXPECT_EQ(terminal_.Row(1), " ab");
  EXPECT_EQ(CursorColumn(), 3);
  EXPECT_EQ(Enter(), "ab");
}

TEST_F(Editing, EscInTheMiddleBlanksTheLineAndReturnsToItsStart) {
  Type("some answer");
  Press(kHome);
  Press(kRight);
  Press(kEsc);
  EXPECT_EQ(terminal_.Row(1), "");
  EXPECT_EQ(CursorColumn(), 2);
  Type("ok");
  Press(Char(25));  // Ctrl+Y does the same
  EXPECT_EQ(terminal_.Row(1), "");
  EXPECT_EQ(Enter(), "");
}

TEST_F(Editing, HomeAndEndMoveWithoutChangingTheLine) {
  Type("abc");
  Press(kHome);
  EXPECT_EQ(CursorColumn(), 2);
  Press(kLeft);  // at the start: nothing
  EXPECT_EQ(CursorColumn(), 2);
  Press(kEnd);
  EXPECT_EQ(CursorColumn(), 5);
  Press(kRight);  // at the end: nothing
  EXPECT_EQ(CursorColumn(), 5);
  EXPECT_EQ(terminal_.Row(1), " abc");
  EXPECT_EQ(Enter(), "abc");
}

TEST_F(Editing, At254CharactersMoreAreRefusedButEditingStillWorks) {
  const std::string full(254, 'm');
  Type(full);
  Type("xyz");
  EXPECT_EQ(writer_.Cursor(), (Position{16, 4}));  // " " and 254 cells: 80 + 80 + 80 + 15
  Press(kLeft);
  Type("R");
  Type("S");
  EXPECT_EQ(Enter(), std::string(253, 'm') + "R");
}

TEST_F(Editing, ControlCharactersAreStoredAndShownAsSymbols) {
  Type("\x03\t\x01");  // Ctrl+C is a character here, not an interrupt
  EXPECT_EQ(terminal_.Row(1), " ♥○☺");
  EXPECT_EQ(Enter(), "\x03\t\x01");
}

TEST_F(Editing, CtrlZAndTheBellChangeNothing) {
  Type("a");
  Press(Char(26));
  Press(Char(7));
  Type("b");
  EXPECT_EQ(CursorColumn(), 4);
  EXPECT_EQ(terminal_.Row(1), " ab");
  EXPECT_EQ(Enter(), "ab");
}

TEST_F(Editing, CtrlJEndsTheLineLikeEnter) {
  Type("first");
  EXPECT_TRUE(Press(Char(10)));
  EXPECT_EQ(editor_.TakeLine(), "first");
  EXPECT_EQ(terminal_.CursorRow(), 2);
  EXPECT_EQ(CursorColumn(), 1);
}

TEST_F(Editing, MovingBackOverAWrapReturnsToTheEarlierRow) {
  const std::string long_answer = std::string(79, 'a') + "bc";  // wraps after the 79th
  Type(long_answer);
  EXPECT_EQ(writer_.Cursor(), (Position{3, 2}));
  Press(kBackspace);
  Press(kBackspace);
  EXPECT_EQ(terminal_.CursorRow(), 2);
  EXPECT_EQ(CursorColumn(), 1);
  EXPECT_EQ(terminal_.Row(2), "");
  Press(kBackspace);  // the last "a", back on the row above
  EXPECT_EQ(terminal_.CursorRow(), 1);
  EXPECT_EQ(CursorColumn(), 80);
  EXPECT_EQ(terminal_.Row(1), " " + std::string(78, 'a'));
  Type("XY");
  Press(kHome);
  EXPECT_EQ(terminal_.CursorRow(), 1);
  EXPECT_EQ(CursorColumn(), 2);
  Press(kEnd);
  Press(kEsc);
  EXPECT_EQ(terminal_.Row(1), "");
  EXPECT_EQ(terminal_.Row(2), "");
  EXPECT_EQ(writer_.Cursor(), (Position{2, 1}));
  EXPECT_EQ(Enter(), "");
}

}  // namespace
}  // namespace pagiste
