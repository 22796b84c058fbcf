// Other programs the checks drive: a terminal, a display server, the tools
// that type and take pictures.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace pagiste::testing {

struct ChildOptions {
  std::string directory;                 // working directory; empty to keep ours
  std::vector<std::string> environment;  // as for PreparedCommand
  bool pipe_input = false;               // we write its standard input
  bool pipe_output = false;              // we read its standard output
  bool pipe_fd3 = false;                 // we read what it writes on descriptor 3
  std::string error_file = "/dev/null";  // where its standard error goes
};

// A command line and environment (NAME=value added to ours, NAME alone taken
// away) prepared before fork, so that the child only calls async-signal-safe
// functions.
class PreparedCommand {
 public:
  PreparedCommand(std::vector<std::string> command, const std::vector<std::string>& environment);
  // Replaces this process with the program named first (searched in PATH).
  [[noreturn]] void Exec() const;

 private:
  std::vector<std::string> strings_;
  std::vector<std::string> environment_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

// The full path of an installed program, or an exception naming what to run.
std::string RequireProgram(const std::string& name);

class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& command, const ChildOptions& options);
  // Ends it (SIGTERM, then SIGKILL) if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&&) = delete;
  ChildProcess& operator=(ChildProcess&&) = delete;

  void Write(std::string_view bytes) const;
  void CloseInput();
  // One line of its standard output (or descriptor 3), without the newline.
  std::string ReadLine(std::chrono::milliseconds timeout, bool from_fd3 = false);
  // Its exit status, or 128 + the signal; waits at most the timeout.
  int Wait(std::chrono::milliseconds timeout);
  [[nodiscard]] pid_t Pid() const { return pid_; }

 private:
  struct Started {
    pid_t pid;
    int input;
    int output;
    int fd3;
  };
  static Started Start(const std::vector<std::string>& command, const ChildOptions& options);
  explicit ChildProcess(const Started& started);

  friend struct CommandResult RunCommand(const std::vector<std::string>& command,
                                         const std::vector<std::string>& environment,
                                         std::string_view input);

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int fd3_ = -1;
  int status_ = -1;
  std::string output_buffer_;
  std::string fd3_buffer_;
};

struct CommandResult {
  int status;
  std::string output;
};

// Runs a command to its end, feeding it the input and keeping its output.
CommandResult RunCommand(const std::vector<std::string>& command,
                         const std::vector<std::string>& environment = {},
                         std::string_view input = {});

// Bytes as lower-case hexadecimal pairs, and back.
std::string ToHex(std::string_view bytes);
std::string FromHex(std::string_view hex);

}  // namespace pagiste::testing
