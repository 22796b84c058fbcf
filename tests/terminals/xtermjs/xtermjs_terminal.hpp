// The terminal of the most used editors, xterm.js, run headless in Node: the
// program runs on a pseudo-terminal here and its output goes to xterm.js,
// which draws it and tells what it sends for each key.
#pragma once

#include <sys/types.h>

#include "terminals/child_process.hpp"
#include "terminals/terminal_session.hpp"

namespace pagiste::testing {

class XtermJsTerminal final : public TerminalSession {
 public:
  XtermJsTerminal(int columns, int rows);
  ~XtermJsTerminal() override;
  XtermJsTerminal(const XtermJsTerminal&) = delete;
  XtermJsTerminal& operator=(const XtermJsTerminal&) = delete;
  XtermJsTerminal(XtermJsTerminal&&) = delete;
  XtermJsTerminal& operator=(XtermJsTerminal&&) = delete;

  void Type(std::string_view text) override;
  void Press(const std::vector<NamedKey>& keys) override;
  void Resize(int columns, int rows) override;
  ScreenCells Screen() override;
  int Finish() override;
  // What the editors' terminals announce.
  [[nodiscard]] std::string ProgramTerm() const override { return "xterm-256color"; }
  [[nodiscard]] const RunFolder& Folder() const override { return folder_; }

 private:
  // The program's output so far, handed to xterm.js.
  void Forward(std::chrono::milliseconds wait);
  // What xterm.js sends to the program for one command.
  std::string Sent(const std::string& command);

  RunFolder folder_{true};
  ChildProcess node_;
  int master_fd_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace pagiste::testing
