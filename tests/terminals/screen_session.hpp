// The program in a window of GNU screen, screen itself on a pseudo-terminal
// shown by a terminal emulator (libvterm): screen is the terminal under test,
// the emulator only displays what screen sends and sends the keys an xterm
// would.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "terminals/terminal_session.hpp"

namespace pagiste::testing {

class ScreenSession : public TerminalSession {
 public:
  ScreenSession(int columns, int rows);
  ~ScreenSession() override;
  ScreenSession(const ScreenSession&) = delete;
  ScreenSession& operator=(const ScreenSession&) = delete;
  ScreenSession(ScreenSession&&) = delete;
  ScreenSession& operator=(ScreenSession&&) = delete;

  void Type(std::string_view text) override;
  void Press(const std::vector<NamedKey>& keys) override;
  void Resize(int columns, int rows) override;
  ScreenCells Screen() override;
  int Finish() override;
  // What screen gives its windows on an xterm-256color terminal.
  [[nodiscard]] std::string ProgramTerm() const override { return "screen.xterm-256color"; }
  [[nodiscard]] const RunFolder& Folder() const override { return folder_; }

 private:
  // Reads what screen sent, answering the emulator's replies; false when
  // nothing came within the wait.
  bool Pump(int wait_ms);
  // A run cut short: screen and the program ended.
  void Quit();
  [[nodiscard]] std::vector<std::string> ScreenEnvironment() const;
  [[nodiscard]] std::string StatusFile() const { return folder_.Root() + "/status"; }

  RunFolder folder_{true};
  std::string name_;
  VirtualTerminal terminal_;
  int master_fd_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
};

}  // namespace pagiste::testing
