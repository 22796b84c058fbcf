// The real program on a pseudo-terminal, its screens read through a terminal
// emulator cell by cell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "questionnaire/texts.hpp"
#include "screen/expected_screen.hpp"

namespace pagiste::testing {
namespace {

// Keys for a code page 850 answer, as a UTF-8 terminal sends them.
std::string Keys(const std::string& cp850) {
  return Utf8FromCp850(cp850);
}

TEST(QuestionnaireScreens, AFullRunOn80x25LooksRightAtEveryQuestion) {
  ProgramRun run({});
  const std::vector<std::string> first = {"Dupont",          "Jean", "12 rue des Lilas",
                                          "jean@example.fr", "",     "01 23 45 67 89"};
  std::vector<std::string> given;
  for (const std::string& answer : first) {
    const int row = 8 + 3 * static_cast<int>(given.size());
    ASSERT_TRUE(run.WaitForCursor(2, row)) << run.Screen().Dump();
    ExpectScreen(run.Screen(), ScreenOne(given), 2, row);
    run.Type(Keys(answer) + "\r");
    given.push_back(answer);
  }
  const std::vector<std::string> second = {"06 12 34 56 78", "01/02/1990", "Un commentaire",
                                           "photo.jpg", "D"};
  given.clear();
  for (const std::string& answer : second) {
    const int row = given.size() < 4 ? 5 + 3 * static_cast<int>(given.size()) : 18;
    ASSERT_TRUE(run.WaitForCursor(2, row)) << run.Screen().Dump();
    ExpectScreen(run.Screen(), ScreenTwo(given), 2, row);
    run.Type(Keys(answer) + "\r");
    given.push_back(answer);
  }
  ASSERT_TRUE(run.WaitFor([](const VirtualTerminal& s) { return !s.CursorVisible(); }));
  ExpectScreen(run.Screen(), ClosingScreen(), 1, 7, false);
  run.Type("typed\r");
  EXPECT_EQ(run.Finish(), 0);
  ExpectedScreen closing = ClosingScreen();
  closing.Line(7, "typed");  // echoed in white, then dropped
  ExpectScreen(run.Screen(), closing, 1, 8, true);
}

TEST(QuestionnaireScreens, EnterEverywhereGivesTheThreeScreensInTurn) {
  ProgramRun run({});
  for (int question = 0; question < 6; ++question) {
    ASSERT_TRUE(run.WaitForCursor(2, 8 + 3 * question));
    run.Type("\r");
  }
  ASSERT_TRUE(run.WaitForCursor(2, 5)) << run.Screen().Dump();
  ExpectScreen(run.Screen(), ScreenTwo({}), 2, 5);
  for (int question = 0; question < 5; ++question) {
    ASSERT_TRUE(run.WaitForCursor(2, question < 4 ? 5 + 3 * question : 18));
    run.Type("\r");
  }
  ASSERT_TRUE(run.WaitForCursor(1, 7));
  run.Type("\r");
  EXPECT_EQ(run.Finish(), 0);
}

TEST(QuestionnaireScreens, AWrappedAnswerMovesTheRestDownAndScreenOneScrolls) {
  ProgramRun run({});
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  const std::string long_name = std::string(79, 'N') + "xyz";  // reaches row 9
  run.Type(long_name + "\r");
  ASSERT_TRUE(run.WaitForCursor(2, 12)) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().Row(8), " " + std::string(79, 'N'));
  EXPECT_EQ(run.Screen().Row(9), "xyz");
  EXPECT_EQ(run.Screen().Colours(9), "YYY" + std::string(77, 'W'));
  EXPECT_EQ(run.Screen().Row(11), Utf8FromCp850(std::string(texts::kPrenom)));
  for (int question = 1; question < 5; ++question) {
    run.Type("a\r");
    ASSERT_TRUE(run.WaitForCursor(2, 12 + 3 * question)) << run.Screen().Dump();
  }
  // The sixth answer's line end reaches row 26: the screen scrolls once and
  // the title bar leaves the top.
  run.Type("tel\r");
  ASSERT_TRUE(run.WaitFor([](const VirtualTerminal& s) {
    return s.Row(4) == Utf8FromCp850(std::string(texts::kTelPortable));
  })) << run.Screen().Dump();
}

TEST(QuestionnaireScreens, ScreenOneScrollsUnderALongFirstAnswer) {
  ProgramRun run({});
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  run.Type(std::string(254, 'L') + "\r");  // rows 8 to 11
  for (int question = 1; question < 5; ++question) {
    ASSERT_TRUE(run.WaitForCursor(2, 11 + 3 * question)) << run.Screen().Dump();
    run.Type("a\r");
  }
  // The sixth prompt's line end passes the bottom: one scroll, the title bar
  // leaves the screen and the answer waits on the bottom row.
  ASSERT_TRUE(run.WaitForCursor(2, 25)) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().Row(1), "");
  EXPECT_EQ(run.Screen().Row(3), Utf8FromCp850(std::string(texts::kIntroduction[0])));
  EXPECT_EQ(run.Screen().Row(7), " " + std::string(79, 'L'));
  EXPECT_EQ(run.Screen().Row(24), Utf8FromCp850(std::string(texts::kTelFixe)));
  EXPECT_EQ(run.Screen().Colours(25), "Y" + std::string(79, 'W'));
  // An answer that wraps on the bottom row scrolls once more; the new row is
  // blank in the answer's colours.
  run.Type(std::string(79, 't'));
  ASSERT_TRUE(run.WaitFor([](const VirtualTerminal& screen) {
    return screen.Row(24) == " " + std::string(79, 't');
  })) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().Row(25), "");
  EXPECT_EQ(run.Screen().Colours(25), std::string(80, 'Y'));
  EXPECT_EQ(run.Screen().CursorColumn(), 1);
  EXPECT_EQ(run.Screen().CursorRow(), 25);
  run.Type("\x7f");  // Backspace climbs back onto the row above
  ASSERT_TRUE(run.WaitForCursor(80, 24));
  EXPECT_EQ(run.Screen().Row(24), " " + std::string(78, 't'));
}

TEST(QuestionnaireScreens, An254CharacterAnswerThenTheLimit) {
  ProgramRun run({});
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  run.Type(std::string(254, 'L'));
  ASSERT_TRUE(run.WaitForCursor(16, 11)) << run.Screen().Dump();  // 1 + 254 cells
  run.Type("MORE");                                               // refused, not echoed
  run.Type(
      "\x1b[D"
      "E");  // Left, then replace the last character
  ASSERT_TRUE(run.WaitForText(11, std::string(14, 'L') + "E")) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().CursorColumn(), 16);
  run.Type("\r");
  ASSERT_TRUE(run.WaitForCursor(2, 14));
  EXPECT_EQ(run.Screen().Row(13), Utf8FromCp850(std::string(texts::kPrenom)));
}

TEST(QuestionnaireScreens, On80x24TheSixthQuestionScrollsScreenOne) {
  ProgramRun run(Window(80, 24));
  for (int question = 0; question < 6; ++question) {
    ASSERT_TRUE(run.WaitForCursor(2, 8 + 3 * question)) << run.Screen().Dump();
    ExpectScreen(run.Screen(),
                 ScreenOne(std::vector<std::string>(static_cast<std::size_t>(question), "x"), 24),
                 2, 8 + 3 * question);
    run.Type("x\r");
  }
  ASSERT_TRUE(run.WaitForCursor(2, 5)) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().Row(4), Utf8FromCp850(std::string(texts::kTelPortable)));
}

TEST(QuestionnaireScreens, OnAWiderWindowTheTitleBarDoesNotWrap) {
  ProgramRun run(Window(100, 30));
  ASSERT_TRUE(run.WaitForCursor(2, 7)) << run.Screen().Dump();
  ExpectedScreen screen(30, 100);
  screen.TitleBar(1);
  screen.Line(3, std::string(texts::kIntroduction[0]));
  screen.Line(4, std::string(texts::kIntroduction[1]));
  screen.Line(6, std::string(texts::kNom));
  screen.Answer(7, "");
  ExpectScreen(run.Screen(), screen, 2, 7);
}

TEST(QuestionnaireScreens, AccentedAndRefusedCharactersAndEditingKeys) {
  ProgramRun run({});
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  // é typed, € and an emoji refused, Home in two dialects, a sequence split
  // across writes, Ctrl+C stored as a character.
  run.Type("Zo\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  ASSERT_TRUE(run.WaitForCursor(5, 8));
  run.Type(
      "\x1b[1~"
      "X\x1bOF"
      "\x03");
  run.Type("\x1b[");
  run.Type("D");
  run.Type("!");
  ASSERT_TRUE(run.WaitForText(8, " Xo\xc3\xa9!")) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().CursorColumn(), 6);
}

TEST(QuestionnaireScreens, ALoneEscErasesTheAnswerOnceNoSequenceFollows) {
  ProgramRun run({});
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  run.Type("answer");
  ASSERT_TRUE(run.WaitForCursor(8, 8));
  run.Type("\x1b");  // nothing follows: after a short delay it is the Esc key
  ASSERT_TRUE(run.WaitForCursor(2, 8)) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().Row(8), "");
  run.Type("ok\r");
  ASSERT_TRUE(run.WaitForCursor(2, 11));
  EXPECT_EQ(run.Screen().Row(8), " ok");
}

}  // namespace
}  // namespace pagiste::testing
