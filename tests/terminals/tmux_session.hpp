// The program in a pane of a private tmux server: keys sent by name, the
// pane read back with capture-pane.
#pragma once

#include <string>
#include <vector>

#include "terminals/child_process.hpp"
#include "terminals/terminal_session.hpp"

namespace pagiste::testing {

class TmuxSession : public TerminalSession {
 public:
  TmuxSession(int columns, int rows);
  ~TmuxSession() override;
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;
  TmuxSession(TmuxSession&&) = delete;
  TmuxSession& operator=(TmuxSession&&) = delete;

  void Type(std::string_view text) override;
  void Press(const std::vector<NamedKey>& keys) override;
  void Resize(int columns, int rows) override;
  ScreenCells Screen() override;
  int Finish() override;
  // tmux's own default-terminal.
  [[nodiscard]] std::string ProgramTerm() const override { return program_term_; }
  [[nodiscard]] const RunFolder& Folder() const override { return folder_; }

 private:
  [[nodiscard]] CommandResult Tmux(std::vector<std::string> arguments) const;
  void MustRun(const std::vector<std::string>& arguments) const;
  [[nodiscard]] std::string StatusFile() const { return folder_.Root() + "/status"; }

  RunFolder folder_{true};
  std::string socket_;
  std::string program_term_;
};

// capture-pane -e -p -N output (SGR sequences between the characters) read
// into cells; rows beyond the output and cells beyond a row's end are blank
// in the default colours.
ScreenCells ParseCapture(std::string_view capture, int rows, int columns);

}  // namespace pagiste::testing
