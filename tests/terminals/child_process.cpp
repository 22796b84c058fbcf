#include "terminals/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/program_run.hpp"

namespace pagiste::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  std::array<int, 2> ends{-1, -1};
  explicit Pipe(bool wanted) {
    if (wanted && ::pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  }
};

int StatusOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool SameName(const std::string& left, const std::string& right) {
  const std::size_t equals = left.find('=');
  return left.compare(0, equals, right, 0, right.find('=')) == 0;
}

}  // namespace

PreparedCommand::PreparedCommand(std::vector<std::string> command,
                                 const std::vector<std::string>& environment)
    : strings_(std::move(command)) {
  for (char** variable = environ; *variable != nullptr; ++variable)
    environment_.emplace_back(*variable);
  // A name given replaces ours (the first of a name is the one a program
  // reads); a name without a value is taken away.
  for (const std::string& change : environment) {
    std::erase_if(environment_, [&](const std::string& ours) { return SameName(ours, change); });
    if (change.find('=') != std::string::npos) environment_.push_back(change);
  }
  for (std::string& argument : strings_) argv_.push_back(argument.data());
  argv_.push_back(nullptr);
  for (std::string& variable : environment_) envp_.push_back(variable.data());
  envp_.push_back(nullptr);
}

void PreparedCommand::Exec() const {
  ::execvpe(argv_[0], argv_.data(), envp_.data());
  ::_exit(127);
}

std::string RequireProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  throw std::runtime_error(name + " is not installed: run scripts/install-deps.sh --tests");
}

ChildProcess::Started ChildProcess::Start(const std::vector<std::string>& command,
                                          const ChildOptions& options) {
  const PreparedCommand prepared(command, options.environment);
  const Pipe input(options.pipe_input);
  const Pipe output(options.pipe_output);
  const Pipe fd3(options.pipe_fd3);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) ::_exit(126);
    if (input.ends[0] >= 0) ::dup2(input.ends[0], STDIN_FILENO);
    if (output.ends[1] >= 0) ::dup2(output.ends[1], STDOUT_FILENO);
    if (fd3.ends[1] >= 0) ::dup2(fd3.ends[1], 3);
    const int errors = ::open(options.error_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (errors >= 0) ::dup2(errors, STDERR_FILENO);
    prepared.Exec();
  }
  for (const int unused : {input.ends[0], output.ends[1], fd3.ends[1]}) {
    if (unused >= 0) ::close(unused);
  }
  return {pid, input.ends[1], output.ends[0], fd3.ends[0]};
}

ChildProcess::ChildProcess(const std::vector<std::string>& command, const ChildOptions& options)
    : ChildProcess(Start(command, options)) {}

ChildProcess::ChildProcess(const Started& started)
    : pid_(started.pid), input_(started.input), output_(started.output), fd3_(started.fd3) {}

ChildProcess::~ChildProcess() {
  CloseIfOpen(input_);
  CloseIfOpen(output_);
  CloseIfOpen(fd3_);
  if (status_ >= 0) return;
  ::kill(pid_, SIGTERM);
  try {
    Wait(std::chrono::seconds(3));
  } catch (const std::exception&) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void ChildProcess::Write(std::string_view bytes) const {
  WriteAll(input_, bytes);
}

void ChildProcess::CloseInput() {
  CloseIfOpen(input_);
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout, bool from_fd3) {
  const int fd = from_fd3 ? fd3_ : output_;
  std::string& buffer = from_fd3 ? fd3_buffer_ : output_buffer_;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = buffer.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd readable{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
      throw std::runtime_error("no answer from " + std::to_string(pid_) + " in time");
    std::array<char, 65536> chunk{};
    const ssize_t count = ::read(fd, chunk.data(), chunk.size());
    if (count <= 0) throw std::runtime_error("a child process closed its output");
    buffer.append(chunk.data(), static_cast<std::size_t>(count));
  }
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (status_ >= 0) return status_;
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) throw std::runtime_error("a child process did not end in time");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  status_ = StatusOf(status);
  return status_;
}

CommandResult RunCommand(const std::vector<std::string>& command,
                         const std::vector<std::string>& environment, std::string_view input) {
  ChildOptions options;
  options.environment = environment;
  options.pipe_input = true;
  options.pipe_output = true;
  ChildProcess child(command, options);
  // Feeds and drains at once: a picture converter fills a pipe both ways.
  const int in = child.input_;
  const int out = child.output_;
  ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) | O_NONBLOCK);
  std::string output;
  bool input_open = true;
  if (input.empty()) {
    child.CloseInput();
    input_open = false;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  for (;;) {
    if (Clock::now() >= deadline) throw std::runtime_error(command[0] + " did not end in time");
    std::array<pollfd, 2> fds{pollfd{out, POLLIN, 0}, pollfd{input_open ? in : -1, POLLOUT, 0}};
    if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
    if ((fds[1].revents & (POLLOUT | POLLERR)) != 0) {
      const ssize_t written = ::write(in, input.data(), input.size());
      if (written > 0) input.remove_prefix(static_cast<std::size_t>(written));
      if (written < 0 && errno != EAGAIN) input = {};
      if (input.empty()) {
        child.CloseInput();
        input_open = false;
      }
    }
    if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
      std::array<char, 65536> chunk{};
      const ssize_t count = ::read(out, chunk.data(), chunk.size());
      if (count <= 0) break;
      output.append(chunk.data(), static_cast<std::size_t>(count));
    }
  }
  return {child.Wait(std::chrono::seconds(20)), output};
}

std::string ToHex(std::string_view bytes) {
  static constexpr std::string_view kDigits = "0123456789abcdef";
  std::string hex;
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    hex += kDigits[value >> 4];
    hex += kDigits[value & 15];
  }
  return hex;
}

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

}  // namespace pagiste::testing
