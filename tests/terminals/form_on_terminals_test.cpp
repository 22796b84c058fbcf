// The questionnaire through four real terminal programs: tmux, GNU screen,
// xterm.js (headless, as in the editors' integrated terminals) and xterm on a
// private X display. Keys are produced by each terminal itself; every screen
// is read back cell by cell with colours and cursor, and each check is a whole
// run of the program from its first screen to the page written.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <thread>

#include "base/cp850.hpp"
#include "support/expected_screen.hpp"
#include "support/fixtures.hpp"
#include "terminals/screen_session.hpp"
#include "terminals/terminal_session.hpp"
#include "terminals/tmux_session.hpp"
#include "terminals/xterm/xterm_window.hpp"
#include "terminals/xtermjs/xtermjs_terminal.hpp"

namespace pagiste::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kProgressTimeout = std::chrono::seconds(10);
// Once the cursor is in place the screen is normally complete; a terminal
// that draws in pieces gets this long to finish.
constexpr auto kSettleTime = std::chrono::seconds(1);
constexpr auto kOracleTimeout = std::chrono::seconds(5);

std::vector<NamedKey> Times(NamedKey key, int count) {
  std::vector<NamedKey> keys;
  keys.assign(static_cast<std::size_t>(count), key);
  return keys;
}

std::string CursorText(CursorAt cursor) {
  return std::to_string(cursor.column) + "," + std::to_string(cursor.row) +
         (cursor.visible ? " shown" : " hidden");
}

bool CursorIs(const ScreenCells& screen, CursorAt cursor) {
  return CursorMatches(screen, cursor.column, cursor.row, cursor.visible);
}

// Captures until the condition holds; the last capture when it never did.
std::optional<ScreenCells> WaitUntil(TerminalSession& session,
                                     const std::function<bool(const ScreenCells&)>& condition,
                                     ScreenCells& last) {
  const auto deadline = Clock::now() + kProgressTimeout;
  for (;;) {
    last = session.Screen();
    if (condition(last)) return last;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(10));
  }
}

// Waits for the program to wait with its cursor in place, then compares
// every cell with the expected screen (a failure, but the run goes on).
// False when the cursor never got there.
bool ReachScreen(TerminalSession& session, const ExpectedScreen& expected, CursorAt cursor,
                 const std::string& where) {
  const auto deadline = Clock::now() + kProgressTimeout;
  std::optional<Clock::time_point> settled;
  for (;;) {
    const ScreenCells screen = session.Screen();
    const std::string mismatch = Differences(screen, Cells(expected, cursor));
    if (mismatch.empty()) return true;
    const auto now = Clock::now();
    if (!settled && CursorIs(screen, cursor)) settled = now + kSettleTime;
    if (settled && now >= *settled) {
      ADD_FAILURE() << where << ":\n" << mismatch;
      return true;
    }
    if (!settled && now >= deadline) {
      ADD_FAILURE() << where << ": the cursor never reached " << CursorText(cursor) << "\n"
                    << mismatch << "whole screen:\n"
                    << screen.Dump();
      return false;
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
}

bool ReachCursor(TerminalSession& session, CursorAt cursor, const std::string& where) {
  ScreenCells last(1, 1);
  if (WaitUntil(
          session, [&](const ScreenCells& s) { return CursorIs(s, cursor); }, last)) {
    return true;
  }
  ADD_FAILURE() << where << ": the cursor never reached " << CursorText(cursor) << "\n"
                << last.Dump();
  return false;
}

RunOptions SameTerminalAs(const TerminalSession& session, int columns, int rows) {
  RunOptions options = Window(columns, rows);
  options.term = session.ProgramTerm();
  return options;
}

// The strongest statement of "as if drawn at that size from the start": the
// same program started at that size in the emulator with the same keys shows
// the same cells and cursor.
bool MatchStartedAtThatSize(TerminalSession& session, ProgramRun& started,
                            const std::string& where) {
  const auto deadline = Clock::now() + kOracleTimeout;
  for (;;) {
    const ScreenCells screen = session.Screen();
    const auto same = [&](const VirtualTerminal& t) {
      return Differences(screen, Snapshot(t)).empty();
    };
    if (started.WaitFor(same, milliseconds(20))) return true;
    if (Clock::now() >= deadline) {
      const ScreenCells wanted = Snapshot(started.Screen());
      ADD_FAILURE() << where << ", the terminal differs from the program started at that size:\n"
                    << Differences(screen, wanted) << "terminal:\n"
                    << screen.Dump() << "started at that size:\n"
                    << wanted.Dump();
      return false;
    }
  }
}

void Answer(TerminalSession& session, const std::string& cp850) {
  if (!cp850.empty()) session.Type(Utf8FromCp850(cp850));
  session.Press({NamedKey::kEnter});
}

// Enter on each question, once the cursor waits there.
void EnterAt(TerminalSession& session, const std::vector<CursorAt>& stops) {
  for (const CursorAt stop : stops) {
    ASSERT_TRUE(ReachCursor(session, stop, "question at " + CursorText(stop)));
    session.Press({NamedKey::kEnter});
  }
}

std::vector<CursorAt> ScreenTwoStops() {
  std::vector<CursorAt> stops;
  for (std::size_t given = 0; given < 5; ++given) stops.push_back(ScreenTwoCursor(given));
  return stops;
}

// Enter on every question after the first two.
void EnterAfterSecondAnswer(TerminalSession& session) {
  ASSERT_NO_FATAL_FAILURE(EnterAt(
      session, {ScreenOneCursor(2), ScreenOneCursor(3), ScreenOneCursor(4), ScreenOneCursor(5)}));
  ASSERT_NO_FATAL_FAILURE(EnterAt(session, ScreenTwoStops()));
}

// The closing screen's Enter ends the run with status 0 and the page written.
void FinishRun(TerminalSession& session, const std::string& page) {
  ASSERT_TRUE(ReachCursor(session, kClosingCursor, "closing screen"));
  session.Press({NamedKey::kEnter});
  EXPECT_EQ(session.Finish(), 0) << session.Screen().Dump();
  EXPECT_TRUE(std::filesystem::exists(session.Folder().Pages() + "/" + page)) << page;
}

// An answer as the page holds it: letters outside ASCII as numeric
// character references.
std::string InPage(const std::string& cp850) {
  std::string text;
  for (const char c : cp850) {
    const char32_t glyph = Cp850Glyph(static_cast<std::uint8_t>(c));
    text += glyph < 0x80 ? std::string(1, c) : "&#" + std::to_string(glyph) + ";";
  }
  return text;
}

std::string PageText(const TerminalSession& session, const std::string& page) {
  return ReadFile(session.Folder().Pages() + "/" + page);
}

struct TerminalKind {
  std::string name;
  std::function<std::unique_ptr<TerminalSession>(int columns, int rows)> open;
};

void PrintTo(const TerminalKind& kind, std::ostream* out) {
  *out << kind.name;
}

template <typename Terminal>
TerminalKind Kind(std::string name) {
  return {std::move(name), [](int columns, int rows) -> std::unique_ptr<TerminalSession> {
            return std::make_unique<Terminal>(columns, rows);
          }};
}

class FormOnTerminal : public ::testing::TestWithParam<TerminalKind> {
 protected:
  void SetUp() override { session_ = GetParam().open(80, 25); }

  void KeepPicture(const std::string& step) {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    session_->KeepPicture(test.substr(0, test.find('/')) + "-" + GetParam().name + "-" + step);
  }

  std::unique_ptr<TerminalSession> session_;
};

TEST_P(FormOnTerminal, AFullRunAt80x25ShowsEveryScreenAndWritesThePage) {
  TerminalSession& session = *session_;
  const Personne person = JeanDupont();
  std::vector<std::string> given;
  for (const std::string& answer :
       {person.Nom, person.Prenom, person.Adresse, person.Email, person.Email2, person.TelFixe}) {
    ASSERT_TRUE(ReachScreen(session, ScreenOne(given), ScreenOneCursor(given.size()),
                            "screen 1 before answer " + std::to_string(given.size() + 1)));
    KeepPicture("screen1-" + std::to_string(given.size() + 1));
    Answer(session, answer);
    given.push_back(answer);
  }
  given.clear();
  for (const std::string& answer : {person.TelPortable, person.DateNaissance, person.Commentaire,
                                    person.CheminPhoto, person.Skin}) {
    ASSERT_TRUE(ReachScreen(session, ScreenTwo(given), ScreenTwoCursor(given.size()),
                            "screen 2 before answer " + std::to_string(given.size() + 1)));
    KeepPicture("screen2-" + std::to_string(given.size() + 1));
    Answer(session, answer);
    given.push_back(answer);
  }
  ASSERT_TRUE(ReachScreen(session, ClosingScreen(), kClosingCursor, "closing screen"));
  KeepPicture("closing");
  ASSERT_NO_FATAL_FAILURE(FinishRun(session, "Jean Dupont.htm"));
  EXPECT_EQ(PageText(session, "Jean Dupont.htm"), Fixture("Jean Dupont.htm"));
}

TEST_P(FormOnTerminal, AWrappedAnswerAndTheCursorAcrossItsRowEnd) {
  TerminalSession& session = *session_;
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(0), "first question"));
  Answer(session, "Dupont");
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(1), "second question"));
  Answer(session, "Jean");
  // 1 + 120 cells: the answer's row full, 41 characters on the next.
  std::string address = "B\x83timent C, 3e \x82tage, porte 12, r\x82sidence des Tilleuls";
  address += ", 14 avenue du G\x82n\x82ral Leclerc, 92100 Boulogne-Billancourt, France";
  ASSERT_EQ(address.size(), 120U);
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(2), "third question"));
  session.Type(Utf8FromCp850(address));
  const auto typed = [&](const std::string& answer) {
    ExpectedScreen screen = ScreenOne({"Dupont", "Jean"});
    screen.Answer(14, answer.substr(0, 79));
    screen.Yellow(15, answer.substr(79));
    return screen;
  };
  ASSERT_TRUE(ReachScreen(session, typed(address), {42, 15}, "120 characters typed"));
  KeepPicture("wrapped");
  session.Press({NamedKey::kHome});
  ASSERT_TRUE(ReachScreen(session, typed(address), {2, 14}, "Home"));
  session.Press({NamedKey::kEnd});
  ASSERT_TRUE(ReachScreen(session, typed(address), {42, 15}, "End"));
  session.Press(Times(NamedKey::kLeft, 41));
  ASSERT_TRUE(ReachScreen(session, typed(address), {1, 15}, "41 Left"));
  session.Press({NamedKey::kLeft});
  ASSERT_TRUE(ReachScreen(session, typed(address), {80, 14}, "Left onto the row above"));
  session.Type("Z");  // over the last cell of the answer's first row
  address[78] = 'Z';
  ASSERT_TRUE(ReachScreen(session, typed(address), {1, 15}, "Z typed in column 80"));
  session.Press({NamedKey::kEnter});
  ExpectedScreen next = typed(address);
  next.Line(17, std::string(texts::kEmail));
  next.Answer(18, "");
  ASSERT_TRUE(ReachScreen(session, next, {2, 18}, "the question after the wrapped answer"));
  ASSERT_NO_FATAL_FAILURE(EnterAt(session, {{2, 18}, {2, 21}, {2, 24}}));
  ASSERT_NO_FATAL_FAILURE(EnterAt(session, ScreenTwoStops()));
  ASSERT_NO_FATAL_FAILURE(FinishRun(session, "Jean Dupont.htm"));
  EXPECT_NE(PageText(session, "Jean Dupont.htm").find(InPage(address)), std::string::npos)
      << InPage(address);
}

TEST_P(FormOnTerminal, EditingKeysAsTheTerminalSendsThem) {
  TerminalSession& session = *session_;
  const auto typing = [](int row, const std::vector<std::string>& given,
                         const std::string& answer) {
    ExpectedScreen screen = ScreenOne(given);
    screen.Answer(row, answer);
    return screen;
  };
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(0), "first question"));
  session.Type("Xupomt");
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Xupomt"), {8, 8}, "typed"));
  session.Press({NamedKey::kHome});
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Xupomt"), {2, 8}, "Home"));
  session.Type("D");  // typing over a character replaces it
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Dupomt"), {3, 8}, "D over the first letter"));
  session.Press({NamedKey::kEnd});
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Dupomt"), {8, 8}, "End"));
  session.Press(Times(NamedKey::kLeft, 2));
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Dupomt"), {6, 8}, "Left twice"));
  session.Type("n");
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Dupont"), {7, 8}, "n over m"));
  session.Press({NamedKey::kRight});
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Dupont"), {8, 8}, "Right"));
  session.Press({NamedKey::kRight});  // already at the end: nothing
  session.Type("s");                  // added at the end
  ASSERT_TRUE(ReachScreen(session, typing(8, {}, "Duponts"), {9, 8}, "s after Right at the end"));
  KeepPicture("edited");
  session.Press({NamedKey::kEnter});
  ASSERT_TRUE(ReachScreen(session, ScreenOne({"Duponts"}), ScreenOneCursor(1), "Enter"));

  session.Type("Faux");
  ExpectedScreen erased = typing(11, {"Duponts"}, "Faux");
  ASSERT_TRUE(ReachScreen(session, erased, {6, 11}, "typed"));
  session.Press({NamedKey::kEscape});      // alone: nothing follows
  erased.Yellow(11, std::string(5, ' '));  // erased with spaces in the answer's colours
  ASSERT_TRUE(ReachScreen(session, erased, {2, 11}, "a lone Esc"));
  session.Type("Jean");
  session.Press(
      {NamedKey::kLeft, NamedKey::kLeft, NamedKey::kLeft, NamedKey::kLeft, NamedKey::kRight});
  ASSERT_TRUE(
      ReachScreen(session, typing(11, {"Duponts"}, "Jean"), {3, 11}, "Left and Right at once"));
  session.Press({NamedKey::kEnter});
  ASSERT_TRUE(ReachScreen(session, ScreenOne({"Duponts", "Jean"}), ScreenOneCursor(2),
                          "the answer typed again after Esc"));
  ASSERT_NO_FATAL_FAILURE(EnterAfterSecondAnswer(session));
  ASSERT_NO_FATAL_FAILURE(FinishRun(session, "Jean Duponts.htm"));
}

TEST_P(FormOnTerminal, EscAndEnterAtOnceEraseTheAnswerThenConfirmIt) {
  TerminalSession& session = *session_;
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(0), "first question"));
  session.Type("abc");
  ExpectedScreen screen = ScreenOne({});
  screen.Answer(8, "abc");
  ASSERT_TRUE(ReachScreen(session, screen, {5, 8}, "typed"));
  session.Press({NamedKey::kEscape, NamedKey::kEnter});
  screen = ScreenOne({""});
  screen.Yellow(8, "    ");
  ASSERT_TRUE(ReachScreen(session, screen, ScreenOneCursor(1), "Esc and Enter together"));
  Answer(session, "Jean");
  screen = ScreenOne({"", "Jean"});
  screen.Yellow(8, "    ");
  ASSERT_TRUE(ReachScreen(session, screen, ScreenOneCursor(2), "the next answer"));
  ASSERT_NO_FATAL_FAILURE(EnterAfterSecondAnswer(session));
  // An empty family name: "Jean .htm".
  ASSERT_NO_FATAL_FAILURE(FinishRun(session, "Jean .htm"));
}

TEST_P(FormOnTerminal, ResizedTo60Then100DuringAnAnswerAsIfStartedAtThatSize) {
  TerminalSession& session = *session_;
  // 70 characters: one row at 80 columns, two at 60.
  std::string first_name = "Jean-Baptiste Marie Emmanuel Philippe Alexandre de la Tour d'Auvergne";
  first_name.resize(70, '!');
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(0), "first question"));
  Answer(session, "Dupont");
  ASSERT_TRUE(ReachCursor(session, ScreenOneCursor(1), "second question"));
  session.Type(first_name);
  session.Press(Times(NamedKey::kLeft, 3));
  ExpectedScreen typing = ScreenOne({"Dupont"});
  typing.Answer(11, first_name);
  ASSERT_TRUE(ReachScreen(session, typing, {69, 11}, "70 characters typed, 3 to the left"));
  std::string keys = "Dupont\r" + first_name + "\x1b[D\x1b[D\x1b[D";
  {
    // Before any resize the terminal and the emulator agree.
    ProgramRun at_80(SameTerminalAs(session, 80, 25));
    at_80.Type(keys);
    EXPECT_TRUE(MatchStartedAtThatSize(session, at_80, "at 80 columns"));
  }

  session.Resize(60, 25);
  ProgramRun at_60(SameTerminalAs(session, 60, 25));
  at_60.Type(keys);
  const bool same_at_60 = MatchStartedAtThatSize(session, at_60, "at 60 columns");
  KeepPicture("60-columns");
  // A key at the new size replaces the character under the cursor.
  session.Type("X");
  at_60.Type("X");
  keys += "X";
  first_name[67] = 'X';
  if (same_at_60) MatchStartedAtThatSize(session, at_60, "X typed at 60 columns");

  session.Resize(100, 25);
  ProgramRun at_100(SameTerminalAs(session, 100, 25));
  at_100.Type(keys);
  bool same = MatchStartedAtThatSize(session, at_100, "back at 100 columns");
  KeepPicture("100-columns");
  // The ten answers left, each screen compared while the two agree.
  for (int question = 2; question <= 11; ++question) {
    const VirtualTerminal& reference = at_100.Screen();
    const int row_before = reference.CursorRow();
    session.Press({NamedKey::kEnter});
    at_100.Type("\r");
    ASSERT_TRUE(at_100.WaitFor([&](const VirtualTerminal& t) {
      return t.CursorRow() != row_before || !t.CursorVisible();
    })) << at_100.Screen().Dump();
    if (same) {
      same = MatchStartedAtThatSize(session, at_100,
                                    "after answer " + std::to_string(question) + " at 100");
    }
  }
  ScreenCells last(1, 1);
  ASSERT_TRUE(WaitUntil(
      session, [](const ScreenCells& s) { return !s.cursor_visible; }, last))
      << "no closing screen:\n"
      << last.Dump();
  session.Press({NamedKey::kEnter});
  EXPECT_EQ(session.Finish(), 0);
  // Nothing of the answer typed across the two resizes is lost.
  EXPECT_TRUE(std::filesystem::exists(session.Folder().Pages() + "/" + first_name + " Dupont.htm"))
      << first_name;
}

INSTANTIATE_TEST_SUITE_P(
    RealTerminals, FormOnTerminal,
    ::testing::Values(Kind<TmuxSession>("tmux"), Kind<ScreenSession>("gnu_screen"),
                      Kind<XtermJsTerminal>("xtermjs"), Kind<XtermWindow>("xterm")),
    [](const ::testing::TestParamInfo<TerminalKind>& info) { return info.param.name; });

}  // namespace
}  // namespace pagiste::testing
