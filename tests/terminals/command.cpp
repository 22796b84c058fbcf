#include "terminals/command.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace pagiste::testing {
namespace {

[[noreturn]] void StartCommand(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment, int output_fd) {
  ::dup2(output_fd, STDOUT_FILENO);
  for (const std::string& setting : environment) {
    const std::size_t equals = setting.find('=');
    ::setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
  }
  ExecArguments(arguments);
}

}  // namespace

void ExecArguments(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

CommandResult RunCommand(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment) {
  std::array<int, 2> pipe_fds{-1, -1};
  if (::pipe2(pipe_fds.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) StartCommand(arguments, environment, pipe_fds[1]);
  ::close(pipe_fds[1]);
  CommandResult result;
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t count = ::read(pipe_fds[0], buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    result.output.append(buffer.data(), static_cast<std::size_t>(count));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace pagiste::testing
