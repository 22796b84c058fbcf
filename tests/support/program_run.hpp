// Runs the real program on a pseudo-terminal and shows its screen through a
// terminal emulator.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "support/virtual_terminal.hpp"

namespace pagiste::testing {

struct RunOptions {
  int rows = 25;
  int columns = 80;
  bool stdin_from_pipe = false;         // answers come through a pipe, not the keyboard
  bool stdout_to_pipe = false;          // the report is captured; screens go to /dev/tty
  bool pages_folder = true;             // a "personnes" folder beside the working directory
  bool as_unprivileged_user = false;    // when the tests run as root: run as nobody
  long file_size_limit = -1;            // RLIMIT_FSIZE for the program, -1 for none
  std::string term = "xterm-256color";  // TERM for the program; empty: the tests' own
};

// A fresh folder for one run: <root>/app is the program's working directory,
// <root>/personnes receives the pages. Removed with everything in it.
class RunFolder {
 public:
  explicit RunFolder(bool pages_folder);
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  RunFolder(RunFolder&&) = delete;
  RunFolder& operator=(RunFolder&&) = delete;

  [[nodiscard]] std::string Root() const { return root_; }
  [[nodiscard]] std::string App() const { return root_ + "/app"; }
  [[nodiscard]] std::string Pages() const { return root_ + "/personnes"; }

 private:
  std::string root_;
};

inline RunOptions Window(int columns, int rows) {
  RunOptions options;
  options.columns = columns;
  options.rows = rows;
  return options;
}

inline RunOptions Piped(bool stdin_from_pipe, bool stdout_to_pipe) {
  RunOptions options;
  options.stdin_from_pipe = stdin_from_pipe;
  options.stdout_to_pipe = stdout_to_pipe;
  return options;
}

class ProgramRun {
 public:
  explicit ProgramRun(const RunOptions& options);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;
  ProgramRun(ProgramRun&&) = delete;
  ProgramRun& operator=(ProgramRun&&) = delete;

  // Bytes as the keyboard sends them.
  void Type(std::string_view keys) const;
  // Bytes into the standard input pipe; Close ends that input.
  void Pipe(std::string_view bytes) const;
  void ClosePipe();

  // Reads the program's output until the screen satisfies the condition.
  bool WaitFor(const std::function<bool(const VirtualTerminal&)>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool WaitForCursor(int column, int row);
  bool WaitForText(int row, std::string_view text);

  // Waits for the end; gives the exit status, or 128 + the signal.
  int Finish(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // After Finish: whether the system wrote a core file for the program.
  [[nodiscard]] bool DumpedCore() const { return dumped_core_; }
  void Signal(int signal_number) const;
  // The window changes size, as when the user drags it: the terminal and the
  // program (through the kernel's SIGWINCH) both learn of it.
  void Resize(int columns, int rows);
  // The terminal goes away, as when its window is closed.
  void HangUp();

  [[nodiscard]] const VirtualTerminal& Screen() const { return *screen_; }
  // The same terminal, for a test that writes on it after the program.
  [[nodiscard]] VirtualTerminal& Terminal() { return *screen_; }
  [[nodiscard]] const std::string& Stdout() const { return stdout_text_; }  // with stdout_to_pipe
  [[nodiscard]] termios TerminalModes() const;
  [[nodiscard]] const RunFolder& Folder() const { return folder_; }

 private:
  bool Pump(std::chrono::milliseconds wait);
  void DrainStdout();

  RunFolder folder_;
  std::unique_ptr<VirtualTerminal> screen_;
  int master_fd_ = -1;
  int stdin_pipe_ = -1;
  int stdout_pipe_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
  bool dumped_core_ = false;
  std::string stdout_text_;
};

// Every byte written to the descriptor (a pipe or a terminal, blocking or
// not), or an exception.
void WriteAll(int fd, std::string_view bytes);

// The program under test: $PAGISTE_PROGRAM when set (an installed copy, say),
// otherwise the one built beside the tests.
std::string ProgramPath();

// The program's texts as the terminal shows them.
std::string Utf8FromCp850(std::string_view cp850);

}  // namespace pagiste::testing
