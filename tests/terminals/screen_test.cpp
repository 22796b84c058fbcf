// The program in a window of GNU screen, with screen's default of no
// background colour erase; screen itself runs on a pseudo-terminal shown by a
// terminal emulator that sends the keys an xterm would.
#include <gtest/gtest.h>

#include "terminals/screen_session.hpp"
#include "terminals/terminal_checks.hpp"

namespace pagiste::testing {
namespace {

std::unique_ptr<TerminalSession> StartScreen(int columns, int rows) {
  return std::make_unique<ScreenSession>(columns, rows);
}

TEST(GnuScreen, AFullRunOn80x25ShowsEveryScreenCellByCell) {
  CheckFullRun(StartScreen);
}

TEST(GnuScreen, AWrappedAnswerAndTheCursorAcrossItsRowEnd) {
  CheckWrappedAnswer(StartScreen);
}

TEST(GnuScreen, ResizedTo60Then100DuringAnAnswer) {
  CheckResizeDuringAnswer(StartScreen);
}

TEST(GnuScreen, EditingKeysAsAnXtermSendsThemThroughScreen) {
  CheckEditingKeys(StartScreen);
}

TEST(GnuScreen, EscThenEnterAtOnce) {
  CheckEscThenEnterAtOnce(StartScreen);
}

}  // namespace
}  // namespace pagiste::testing
