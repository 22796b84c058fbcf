// The program run inside a real terminal program (tmux, GNU screen): keys go
// in as that terminal sends them, and its screen is read back cell by cell.
#pragma once

#include <chrono>
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
  // Keys pressed one after the other, sent together.
  virtual void Press(const std::vector<NamedKey>& keys) = 0;
  // The screen as the terminal shows it now.
  virtual ScreenCells Capture() = 0;
  virtual void Resize(int columns, int rows) = 0;
  // After the last key: waits for the program to end and gives its exit
  // status, or -1 when it did not end in time.
  virtual int ExitStatus() = 0;
  // TERM as the program sees it inside this terminal.
  [[nodiscard]] virtual std::string ProgramTerm() const = 0;
  [[nodiscard]] virtual const RunFolder& Folder() const = 0;
};

// Starts the program in a terminal of that size.
using SessionStarter = std::function<std::unique_ptr<TerminalSession>(int columns, int rows)>;

// A name no other run of the tests uses at the same time.
std::string UniqueName(std::string_view prefix);

// The program started by a shell that writes its exit status (or 128 + the
// signal) to the file at its end: tmux's own report of it is not reliable
// (the pane dies, its status never comes) and screen has none.
std::vector<std::string> ProgramRecordingItsStatus(const std::string& status_file);
// The status recorded, once there; -1 when it is not there in time.
int WaitForRecordedStatus(const std::string& status_file, const std::function<void()>& meanwhile);

}  // namespace pagiste::testing
