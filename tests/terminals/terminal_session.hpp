// A real terminal program running the questionnaire, driven as a user would:
// keys go in as that terminal itself sends them, the window is resized, and
// its screen is read back cell by cell with colours and cursor. The names
// follow ProgramRun, the same program on the tests' own emulator.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/program_run.hpp"
#include "support/screen_cells.hpp"
#include "support/virtual_terminal.hpp"

namespace pagiste::testing {

class TerminalSession {
 public:
  TerminalSession() = default;
  virtual ~TerminalSession() = default;
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;
  TerminalSession(TerminalSession&&) = delete;
  TerminalSession& operator=(TerminalSession&&) = delete;

  // Characters, UTF-8, as typed on the keyboard.
  virtual void Type(std::string_view text) = 0;
  // Keys pressed one right after the other, as fast as the terminal sends them.
  virtual void Press(const std::vector<NamedKey>& keys) = 0;
  // The window gets this many columns and rows; the program is told.
  virtual void Resize(int columns, int rows) = 0;
  // The screen as the terminal shows it now.
  virtual ScreenCells Screen() = 0;
  // After the last key: waits for the program's end and gives its exit
  // status (or 128 + the signal), -1 when it did not end in time.
  virtual int Finish() = 0;
  // A picture of the window kept beside the test results, by a terminal that
  // draws one.
  virtual void KeepPicture(const std::string& /*name*/) {}
  // TERM as the program sees it inside this terminal.
  [[nodiscard]] virtual std::string ProgramTerm() const = 0;
  [[nodiscard]] virtual const RunFolder& Folder() const = 0;
};

// A name no other run of the tests uses at the same time.
std::string UniqueName(std::string_view prefix);

// The program started by a shell that writes its exit status (or 128 + the
// signal) to the file at its end, for terminals that report none reliably:
// tmux's pane dies before its status comes, screen and xterm have none.
std::vector<std::string> ProgramRecordingItsStatus(const std::string& status_file);
// The status recorded, once there; -1 when it is not there in time.
int WaitForRecordedStatus(const std::string& status_file, const std::function<void()>& meanwhile);

}  // namespace pagiste::testing
