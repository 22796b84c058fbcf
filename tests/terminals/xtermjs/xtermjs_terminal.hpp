// The terminal of the most used editors, xterm.js, run headless in Node: the
// program runs on a pseudo-terminal here and its output goes to xterm.js,
// which draws it and tells what it sends for each key.
#pragma once

#include <sys/types.h>

#include "support/program_run.hpp"
#include "terminals/child_process.hpp"
#include "terminals/driven_terminal.hpp"

namespace pagiste::testing {

class XtermJsTerminal final : public DrivenTerminal {
 public:
  XtermJsTerminal(int columns, int rows);
  ~XtermJsTerminal() override;
  XtermJsTerminal(const XtermJsTerminal&) = delete;
  XtermJsTerminal& operator=(const XtermJsTerminal&) = delete;
  XtermJsTerminal(XtermJsTerminal&&) = delete;
  XtermJsTerminal& operator=(XtermJsTerminal&&) = delete;

  void Type(std::string_view text) override;
  void Press(std::initializer_list<Key> keys) override;
  void Resize(int columns, int rows) override;
  GridScreen Screen() override;
  void KeepPicture(const std::string& name) override;
  int Finish() override;
  [[nodiscard]] std::string Pages() const override { return folder_.Pages(); }

 protected:
  void Idle() override;

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
