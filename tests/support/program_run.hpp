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
#include <utility>
#include <vector>

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
  long open_files_limit = -1;           // RLIMIT_NOFILE for the program, -1 for none
  std::vector<std::pair<std::string, std::string>> environment;  // added to the program's
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
  void Type(std::string_view keys);
  // Bytes into the standard input pipe; Close ends that input.
  void Pipe(std::string_view bytes) const;
  void ClosePipe();

  // Reads the program's output until the screen satisfies the condition.
  bool WaitFor(const std::function<bool(const VirtualTerminal&)>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool WaitForCursor(int column, int row);
  bool WaitForText(int row, std::string_view text);
  // Whatever the program has written so far, onto the screen; does not wait.
  void ReadScreen();
  // With keys from the terminal: waits until the program has read every byte
  // typed and waits for the next key with no Esc pending (it blocks in ppoll
  // without a timeout), so that what it did with them is all on the screen.
  // Read from /proc: the program's bytes read and its current system call.
  // False at once should the program end meanwhile.
  bool WaitUntilSettled(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // The window takes a new size, as when the user drags it: the terminal
  // emulator's screen first, then the kernel's (which signals the program).
  void Resize(int columns, int rows);

  // Waits for the end; gives the exit status, or 128 + the signal.
  int Finish(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // After Finish: whether the system wrote a core file for the program.
  [[nodiscard]] bool DumpedCore() const { return dumped_core_; }
  void Signal(int signal_number) const;
  // The terminal goes away, as when its window is closed.
  void HangUp();

  [[nodiscard]] const VirtualTerminal& Screen() const { return *screen_; }
  // The same terminal, for a test that writes on it after the program.
  [[nodiscard]] VirtualTerminal& Terminal() { return *screen_; }
  [[nodiscard]] const std::string& Stdout() const { return stdout_text_; }  // with stdout_to_pipe
  [[nodiscard]] termios TerminalModes() const;
  [[nodiscard]] const RunFolder& Folder() const { return folder_; }
  [[nodiscard]] pid_t Pid() const { return pid_; }

 private:
  bool Pump(std::chrono::milliseconds wait);
  void DrainStdout();
  [[nodiscard]] bool Ended() const;
  [[nodiscard]] bool WaitsForAKey() const;
  [[nodiscard]] long BytesRead() const;
  // How often the program has gone to sleep of its own accord.
  [[nodiscard]] long TimesAsleep() const;
  void CountKeysFromHere();

  RunFolder folder_;
  std::unique_ptr<VirtualTerminal> screen_;
  int master_fd_ = -1;
  int stdin_pipe_ = -1;
  int stdout_pipe_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
  bool dumped_core_ = false;
  std::string stdout_text_;
  bool keys_from_terminal_ = true;
  long bytes_read_before_keys_ = -1;  // the program's bytes read when the first key was typed
  long bytes_typed_ = 0;
  long asleep_before_resize_ = -1;  // while a change of size is not yet drawn
};

// Every byte written to the descriptor (a pipe or a terminal, blocking or
// not), or an exception.
void WriteAll(int fd, std::string_view bytes);

// The program under test: $PAGISTE_PROGRAM when set (an installed copy, say),
// otherwise the one built beside the tests.
std::string ProgramPath();

// CI sets CI=true and runs as root: a test that needs root must not skip there.
bool InContinuousIntegration();

// The modes a new terminal starts with, to compare with what a run leaves.
termios FreshTerminalModes();

// The program's texts as the terminal shows them.
std::string Utf8FromCp850(std::string_view cp850);

}  // namespace pagiste::testing
