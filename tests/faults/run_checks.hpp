// What every run must leave behind, however it ended: the terminal as it was
// found, the pages' folder holding pages only, and an exact failure report.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "support/program_run.hpp"

namespace pagiste::testing {

inline bool SameModes(const termios& left, const termios& right) {
  return left.c_iflag == right.c_iflag && left.c_oflag == right.c_oflag &&
         left.c_lflag == right.c_lflag && left.c_cflag == right.c_cflag &&
         left.c_cc[VMIN] == right.c_cc[VMIN] && left.c_cc[VTIME] == right.c_cc[VTIME];
}

// Modes as found, then what a shell's text would look like after the program:
// default colours, a visible cursor, autowrap on. Writes on the test's screen.
inline void ExpectTerminalHandedBack(ProgramRun& run) {
  EXPECT_TRUE(SameModes(run.TerminalModes(), FreshTerminalModes())) << "terminal modes changed";
  EXPECT_TRUE(run.Screen().CursorVisible()) << "cursor left hidden";
  VirtualTerminal& after = run.Terminal();
  const int columns = after.Columns();
  after.Feed("\x1b[1;1H" + std::string(static_cast<std::size_t>(columns) + 1, 'w'));
  EXPECT_EQ(after.CursorRow(), 2) << "autowrap still off";
  EXPECT_EQ(after.Cell(1, 1).foreground, -1) << "colours not reset";
  EXPECT_EQ(after.Cell(1, 1).background, -1) << "colours not reset";
}

// Regular files below a folder, as paths relative to it.
inline std::set<std::string> FilesIn(const std::string& folder) {
  namespace fs = std::filesystem;
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), folder).string());
  }
  return names;
}

// The report's message line, once the whole five-line report has been checked.
inline std::string ReportMessage(const std::string& report) {
  static const std::regex kReport(
      "An unhandled exception occurred at 0x([0-9A-F]{8}) :\r\n([^\r\n]*)\r\n  0x\\1\r\n  "
      "0x[0-9A-F]{8}\r\n\r\n");
  std::smatch match;
  return std::regex_match(report, match, kReport) ? match[2].str() : "malformed report: " + report;
}

}  // namespace pagiste::testing
