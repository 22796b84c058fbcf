// The questionnaire through real terminal programs: xterm.js (headless, as in
// the editors' integrated terminals) and xterm under a private X display.
// Keys are produced by each terminal itself; every screen is read back cell
// by cell with colours and cursor.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/expected_screen.hpp"
#include "support/fixtures.hpp"
#include "support/program_run.hpp"
#include "terminals/driven_terminal.hpp"
#include "terminals/grid_screen.hpp"
#include "terminals/xterm/xterm_window.hpp"
#include "terminals/xtermjs/xtermjs_terminal.hpp"

namespace pagiste::testing {
namespace {

namespace fs = std::filesystem;

struct TerminalKind {
  std::string name;
  std::function<std::unique_ptr<DrivenTerminal>(int columns, int rows)> open;
};

void PrintTo(const TerminalKind& kind, std::ostream* out) {
  *out << kind.name;
}

const TerminalKind kXtermJs{"xtermjs",
                            [](int columns, int rows) -> std::unique_ptr<DrivenTerminal> {
                              return std::make_unique<XtermJsTerminal>(columns, rows);
                            }};
const TerminalKind kXterm{"xterm", [](int columns, int rows) -> std::unique_ptr<DrivenTerminal> {
                            return std::make_unique<XtermWindow>(columns, rows);
                          }};

// A hidden cursor shows nowhere on a window: where it was left is known only
// to a terminal that reports it (xterm.js), not on a picture (xterm).
bool CursorAsExpected(const GridScreen& screen, int column, int row, bool visible) {
  if (screen.CursorVisible() != visible) return false;
  const bool place_unseen = !visible && screen.CursorColumn() == 0;
  return place_unseen || (screen.CursorColumn() == column && screen.CursorRow() == row);
}

// The expected colours as a user sees them (GridScreen::SeenColours).
std::string SeenColours(const ExpectedScreen& expected, int row) {
  const auto index = static_cast<std::size_t>(row - 1);
  const std::u32string text = DecodeUtf8(expected.text[index]);
  std::string letters;
  for (std::size_t column = 0; column < expected.colours[index].size(); ++column) {
    const char letter = expected.colours[index][column];
    const int background = letter == 'R' ? 4 : letter == '.' ? -1 : 1;
    letters += SeenLetter(letter, background, column >= text.size() || text[column] == U' ');
  }
  return letters;
}

// The expected screen in the form of GridScreen::Dump.
std::string Dump(const ExpectedScreen& expected) {
  std::string dump;
  for (int row = 1; row <= static_cast<int>(expected.text.size()); ++row) {
    const std::string& text = expected.text[static_cast<std::size_t>(row - 1)];
    const std::size_t width = expected.colours[static_cast<std::size_t>(row - 1)].size();
    const std::size_t shown = DecodeUtf8(text).size();
    dump += (row < 10 ? " " : "") + std::to_string(row) + " |" + text +
            std::string(width > shown ? width - shown : 0, ' ') + "| " +
            SeenColours(expected, row) + "\n";
  }
  return dump;
}

bool Matches(const GridScreen& screen, const ExpectedScreen& expected, int column, int row,
             bool visible) {
  if (screen.Rows() != static_cast<int>(expected.text.size())) return false;
  for (int line = 1; line <= screen.Rows(); ++line) {
    if (screen.Row(line) != expected.text[static_cast<std::size_t>(line - 1)] ||
        screen.SeenColours(line) != SeenColours(expected, line))
      return false;
  }
  return CursorAsExpected(screen, column, row, visible);
}

// The oracle for a screen: the same program and keys on the libvterm test
// terminal, started at the size in question.
GridScreen Oracle(ProgramRun& run, const std::function<bool(const GridScreen&)>& settled) {
  run.WaitFor([&](const VirtualTerminal& screen) { return settled(GridScreen::Of(screen)); });
  return GridScreen::Of(run.Screen());
}

// Screen 1 while question k's answer is being typed, after the answers given.
ExpectedScreen Typing(const std::vector<std::string>& given, const std::string& answer) {
  ExpectedScreen screen = ScreenOne(given);
  screen.Answer(8 + 3 * static_cast<int>(given.size()), answer);
  return screen;
}

bool Shows(const GridScreen& screen, const std::string& text) {
  return screen.FlatText().find(text) != std::string::npos;
}

class FormOnTerminal : public ::testing::TestWithParam<TerminalKind> {
 protected:
  void SetUp() override { terminal_ = GetParam().open(80, 25); }

  // Waits for the screen, then checks every cell of it. xterm shows a hidden
  // cursor nowhere, so there its place is checked only while it is shown.
  void ExpectForm(const ExpectedScreen& expected, int column, int row, bool visible = true) {
    const GridScreen screen = terminal_->WaitFor(
        [&](const GridScreen& shown) { return Matches(shown, expected, column, row, visible); });
    if (!Matches(screen, expected, column, row, visible)) {
      ADD_FAILURE() << "The terminal shows:\n"
                    << screen.Dump() << "where this was expected:\n"
                    << Dump(expected) << "cursor " << column << ',' << row
                    << (visible ? " shown" : " hidden");
    }
  }

  void Answer(const std::string& cp850) {
    terminal_->Type(Utf8FromCp850(cp850));
    terminal_->Press({Key::kEnter});
  }

  void KeepPicture(const std::string& step) {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    terminal_->KeepPicture(test.substr(0, test.find('/')) + "-" + GetParam().name + "-" + step);
  }

  std::unique_ptr<DrivenTerminal> terminal_;
};

TEST_P(FormOnTerminal, AFullRunAt80x25ShowsEveryScreenAndWritesThePage) {
  const Personne jean = JeanDupont();
  const std::vector<std::string> first = {jean.Nom,   jean.Prenom, jean.Adresse,
                                          jean.Email, jean.Email2, jean.TelFixe};
  std::vector<std::string> given;
  for (const std::string& answer : first) {
    const int row = 8 + 3 * static_cast<int>(given.size());
    ExpectForm(ScreenOne(given), 2, row);
    KeepPicture("screen1-" + std::to_string(given.size() + 1));
    Answer(answer);
    given.push_back(answer);
  }
  const std::vector<std::string> second = {jean.TelPortable, jean.DateNaissance, jean.Commentaire,
                                           jean.CheminPhoto, jean.Skin};
  given.clear();
  for (const std::string& answer : second) {
    const int row = given.size() < 4 ? 5 + 3 * static_cast<int>(given.size()) : 18;
    ExpectForm(ScreenTwo(given), 2, row);
    KeepPicture("screen2-" + std::to_string(given.size() + 1));
    Answer(answer);
    given.push_back(answer);
  }
  ExpectForm(ClosingScreen(), 1, 7, false);
  KeepPicture("closing");
  terminal_->Press({Key::kEnter});
  EXPECT_EQ(terminal_->Finish(), 0);
  EXPECT_EQ(ReadFile(terminal_->Pages() + "/Jean Dupont.htm"), Fixture("Jean Dupont.htm"));
}

TEST_P(FormOnTerminal, AWrappedAnswerGoesOnAtTheStartOfTheNextRow) {
  ExpectForm(ScreenOne({}), 2, 8);
  const std::string long_name = std::string(79, 'N') + "xyz";
  terminal_->Type(long_name);
  ProgramRun oracle_run({});
  oracle_run.Type(long_name);
  const auto at_end = [](const GridScreen& screen) {
    return screen.CursorColumn() == 4 && screen.CursorRow() == 9;
  };
  GridScreen shown = terminal_->WaitFor(at_end);
  ExpectSameScreen(shown, Oracle(oracle_run, at_end));
  EXPECT_EQ(shown.Row(8), " " + std::string(79, 'N'));
  EXPECT_EQ(shown.Row(9), "xyz");
  EXPECT_EQ(shown.SeenColours(8), "b" + std::string(79, 'Y'));
  EXPECT_EQ(shown.SeenColours(9), "YYY" + std::string(77, 'b'));
  KeepPicture("wrapped");

  // Home goes back to the answer's first character on the row above, End
  // after its last one.
  terminal_->Press({Key::kHome});
  oracle_run.Type("\x1b[H");
  const auto at_start = [](const GridScreen& screen) {
    return screen.CursorColumn() == 2 && screen.CursorRow() == 8;
  };
  ExpectSameScreen(terminal_->WaitFor(at_start), Oracle(oracle_run, at_start));
  terminal_->Press({Key::kEnd});
  oracle_run.Type("\x1b[F");
  ExpectSameScreen(terminal_->WaitFor(at_end), Oracle(oracle_run, at_end));

  terminal_->Press({Key::kEnter});
  oracle_run.Type("\r");
  const auto next_question = [](const GridScreen& screen) {
    return screen.CursorColumn() == 2 && screen.CursorRow() == 12;
  };
  shown = terminal_->WaitFor(next_question);
  ExpectSameScreen(shown, Oracle(oracle_run, next_question));
  EXPECT_EQ(shown.Row(11), Utf8FromCp850(std::string(texts::kPrenom)));
}

TEST_P(FormOnTerminal, EditingKeysAsTheTerminalSendsThem) {
  ExpectForm(ScreenOne({}), 2, 8);
  terminal_->Type("Dupont");
  ExpectForm(Typing({}, "Dupont"), 8, 8);
  terminal_->Press({Key::kHome});
  ExpectForm(Typing({}, "Dupont"), 2, 8);
  terminal_->Type("L");  // typing over a character replaces it
  ExpectForm(Typing({}, "Lupont"), 3, 8);
  terminal_->Press({Key::kEnd});
  ExpectForm(Typing({}, "Lupont"), 8, 8);
  terminal_->Type("s");
  ExpectForm(Typing({}, "Luponts"), 9, 8);
  terminal_->Press({Key::kLeft, Key::kLeft});
  ExpectForm(Typing({}, "Luponts"), 7, 8);
  terminal_->Type("X");
  ExpectForm(Typing({}, "LuponXs"), 8, 8);
  terminal_->Press({Key::kRight});
  ExpectForm(Typing({}, "LuponXs"), 9, 8);
  terminal_->Type("!");
  ExpectForm(Typing({}, "LuponXs!"), 10, 8);
  KeepPicture("edited");

  // A lone Esc erases the whole answer.
  terminal_->Press({Key::kEscape});
  ExpectForm(Typing({}, ""), 2, 8);

  terminal_->Type("Jean");
  terminal_->Press({Key::kLeft, Key::kLeft, Key::kLeft, Key::kLeft, Key::kRight});
  ExpectForm(Typing({}, "Jean"), 3, 8);
  terminal_->Press({Key::kEnter});
  ExpectForm(ScreenOne({"Jean"}), 2, 11);
}

TEST_P(FormOnTerminal, EscAndEnterAtOnceEraseTheAnswerThenConfirmIt) {
  ExpectForm(ScreenOne({}), 2, 8);
  terminal_->Type("abc");
  ExpectForm(Typing({}, "abc"), 5, 8);
  terminal_->Press({Key::kEscape, Key::kEnter});
  ExpectForm(ScreenOne({""}), 2, 11);
  terminal_->Type("Jean");
  terminal_->Press({Key::kEnter});
  ExpectForm(ScreenOne({"", "Jean"}), 2, 14);
}

// Press Enter and wait until the screen has taken it in.
void EnterAndWait(DrivenTerminal& terminal) {
  const GridScreen before = terminal.Screen();
  terminal.Press({Key::kEnter});
  terminal.WaitFor([&](const GridScreen& screen) { return !(screen == before); });
}

TEST_P(FormOnTerminal, AResizeDuringAnAnswerRedrawsAsIfDrawnAtTheNewSize) {
  ExpectForm(ScreenOne({}), 2, 8);
  Answer("Dupont");
  // 70 characters: one row at 80 and 100 columns, two at 60.
  const std::string first_name =
      "Jean-Baptiste Marie Emmanuel Tour d'Auvergne de Montmorency-Laval Roi";
  ASSERT_EQ(first_name.size(), 69U);
  const std::string typed = first_name + "s";
  terminal_->Type(typed);
  terminal_->Press({Key::kLeft, Key::kLeft, Key::kLeft});
  terminal_->Type("Z");  // replaces the third character from the end
  std::string edited = typed;
  edited[typed.size() - 3] = 'Z';
  ExpectForm(Typing({"Dupont"}, edited), 70, 11);

  const std::string keys = "Dupont\r" + typed + "\x1b[D\x1b[D\x1b[D" + "Z";
  for (const int columns : {60, 100}) {
    SCOPED_TRACE(std::to_string(columns) + " columns");
    terminal_->Resize(columns, 25);
    ProgramRun oracle_run(Window(columns, 25));
    oracle_run.Type(keys);
    const GridScreen oracle = Oracle(oracle_run, [&](const GridScreen& screen) {
      return Shows(screen, " " + edited) && screen.CursorColumn() > 1;
    });
    const GridScreen shown = terminal_->WaitFor(
        [&](const GridScreen& screen) { return screen == oracle; }, std::chrono::seconds(5));
    ExpectSameScreen(shown, oracle);
    KeepPicture(std::to_string(columns) + "-columns");
  }

  // Nothing of the answer is lost: it names the page.
  for (int question = 0; question < 10; ++question) EnterAndWait(*terminal_);
  terminal_->Press({Key::kEnter});
  EXPECT_EQ(terminal_->Finish(), 0);
  EXPECT_TRUE(fs::exists(terminal_->Pages() + "/" + edited + " Dupont.htm"));
}

INSTANTIATE_TEST_SUITE_P(RealTerminals, FormOnTerminal, ::testing::Values(kXtermJs, kXterm),
                         [](const ::testing::TestParamInfo<TerminalKind>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace pagiste::testing
