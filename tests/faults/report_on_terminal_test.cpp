// When standard output is the terminal itself, the failure report comes
// after the terminal has been handed back: in the terminal's own colours, from
// column 1 of the line below the cursor, with the last screen still above it.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "faults/run_checks.hpp"
#include "questionnaire/texts.hpp"
#include "support/program_run.hpp"

namespace pagiste::testing {
namespace {

// The five report lines from this row down, their text in the terminal's
// default colours; the cursor waits under them, at the start of a line.
void ExpectReportAt(const VirtualTerminal& screen, int first_row, const std::string& message) {
  static const std::regex kLocation("An unhandled exception occurred at 0x[0-9A-F]{8} :");
  static const std::regex kAddress("  0x[0-9A-F]{8}");
  EXPECT_TRUE(std::regex_match(screen.Row(first_row), kLocation)) << screen.Dump();
  EXPECT_EQ(screen.Row(first_row + 1), message) << screen.Dump();
  EXPECT_TRUE(std::regex_match(screen.Row(first_row + 2), kAddress)) << screen.Dump();
  EXPECT_TRUE(std::regex_match(screen.Row(first_row + 3), kAddress)) << screen.Dump();
  EXPECT_EQ(screen.Row(first_row + 4), "");
  for (int row = first_row; row < first_row + 4; ++row) {
    const std::size_t length = screen.Row(row).size();
    EXPECT_EQ(screen.Colours(row).substr(0, length), std::string(length, '.'))
        << "row " << row << " not in the terminal's own colours";
  }
  EXPECT_EQ(screen.CursorColumn(), 1);
  EXPECT_EQ(screen.CursorRow(), first_row + 5);
}

TEST(ReportOnTheTerminal, AfterTypedAnswersWithNoPagesFolder) {
  RunOptions options;
  options.pages_folder = false;
  ProgramRun run(options);
  ASSERT_TRUE(run.WaitUntilSettled());
  for (int answer = 0; answer < 11; ++answer) {
    run.Type("x\r");
    ASSERT_TRUE(run.WaitUntilSettled()) << run.Screen().Dump();
  }
  ASSERT_EQ(run.Screen().CursorRow(), 7);  // on the closing screen, under its last line
  run.Type("\r");
  EXPECT_EQ(run.Finish(), 217);
  const VirtualTerminal& screen = run.Screen();
  EXPECT_EQ(screen.Row(4), Utf8FromCp850(std::string(texts::kClosing[0])));
  EXPECT_EQ(screen.Row(6), Utf8FromCp850(std::string(texts::kClosing[1])));
  ExpectReportAt(screen, 8, "Invalid filename");
  ExpectTerminalHandedBack(run);
}

TEST(ReportOnTheTerminal, AfterPipedInputEndsInTheMiddleOfALine) {
  ProgramRun run(Piped(true, false));
  run.Pipe("Dupont\n");
  run.ClosePipe();
  EXPECT_EQ(run.Finish(), 217);
  const VirtualTerminal& screen = run.Screen();
  EXPECT_EQ(screen.Row(8), " Dupont");
  EXPECT_EQ(screen.Row(10), Utf8FromCp850(std::string(texts::kPrenom)));
  EXPECT_EQ(screen.Colours(11).substr(0, 1), "Y") << "the answer's space stays where it was";
  ExpectReportAt(screen, 12, "Read past end of file");
  ExpectTerminalHandedBack(run);
}

}  // namespace
}  // namespace pagiste::testing
