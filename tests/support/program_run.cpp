#include "support/program_run.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "base/cp850.hpp"

namespace pagiste::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;

[[noreturn]] void StartChild(const RunOptions& options, const std::string& directory,
                             const std::string& program, int stdin_read, int stdout_write) {
  if (::chdir(directory.c_str()) != 0) ::_exit(120);
  if (options.as_unprivileged_user && ::geteuid() == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      ::_exit(122);
  }
  // Core files allowed, so that a test can tell a program that avoids one.
  rlimit core{};
  if (::getrlimit(RLIMIT_CORE, &core) == 0) {
    core.rlim_cur = core.rlim_max;
    ::setrlimit(RLIMIT_CORE, &core);
  }
  if (options.file_size_limit >= 0) {
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                       static_cast<rlim_t>(options.file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (!options.term.empty()) ::setenv("TERM", options.term.c_str(), 1);
  if (stdin_read >= 0) ::dup2(stdin_read, STDIN_FILENO);
  if (stdout_write >= 0) ::dup2(stdout_write, STDOUT_FILENO);
  ::execl(program.c_str(), "pagiste", static_cast<char*>(nullptr));
  ::_exit(121);
}

}  // namespace

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) {
      // A non-blocking terminal whose other end is slow to read.
      pollfd writable{fd, POLLOUT, 0};
      ::poll(&writable, 1, 1000);
      continue;
    }
    if (written <= 0)
      throw std::runtime_error("write to descriptor " + std::to_string(fd) + " failed");
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string ProgramPath() {
  const char* chosen = std::getenv("PAGISTE_PROGRAM");
  return chosen != nullptr && *chosen != '\0' ? chosen : PAGISTE_PROGRAM;
}

std::string Utf8FromCp850(std::string_view cp850) {
  std::string text;
  for (const char byte : cp850) AppendUtf8(text, Cp850Glyph(static_cast<std::uint8_t>(byte)));
  return text;
}

RunFolder::RunFolder(bool pages_folder) {
  std::string pattern = std::filesystem::temp_directory_path() / "pagiste-run-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  root_ = pattern;
  // Open to all, so that a run as an unprivileged user can reach it.
  std::filesystem::permissions(root_, std::filesystem::perms::all);
  std::filesystem::create_directory(App());
  if (pages_folder) {
    std::filesystem::create_directory(Pages());
    std::filesystem::permissions(Pages(), std::filesystem::perms::all);
  }
}

RunFolder::~RunFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

ProgramRun::ProgramRun(const RunOptions& options)
    : folder_(options.pages_folder),
      screen_(std::make_unique<VirtualTerminal>(options.rows, options.columns)) {
  // Said here rather than as a screen that never comes.
  const std::string program = ProgramPath();
  if (::access(program.c_str(), X_OK) != 0)
    throw std::runtime_error("no program to run at " + program);
  std::array<int, 2> in_pipe{-1, -1};
  std::array<int, 2> out_pipe{-1, -1};
  if (options.stdin_from_pipe && ::pipe2(in_pipe.data(), O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  if (options.stdout_to_pipe && ::pipe2(out_pipe.data(), O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  winsize size{};
  size.ws_row = static_cast<unsigned short>(options.rows);
  size.ws_col = static_cast<unsigned short>(options.columns);
  pid_ = ::forkpty(&master_fd_, nullptr, nullptr, &size);
  if (pid_ < 0) throw std::runtime_error("forkpty");
  if (pid_ == 0) StartChild(options, folder_.App(), program, in_pipe[0], out_pipe[1]);
  if (in_pipe[0] >= 0) ::close(in_pipe[0]);
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);
  stdin_pipe_ = in_pipe[1];
  stdout_pipe_ = out_pipe[0];
  ::fcntl(master_fd_, F_SETFL, ::fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
}

ProgramRun::~ProgramRun() {
  if (status_ < 0 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (const int fd : {master_fd_, stdin_pipe_, stdout_pipe_}) {
    if (fd >= 0) ::close(fd);
  }
}

void ProgramRun::Type(std::string_view keys) const {
  WriteAll(master_fd_, keys);
}

void ProgramRun::Pipe(std::string_view bytes) const {
  WriteAll(stdin_pipe_, bytes);
}

void ProgramRun::ClosePipe() {
  ::close(stdin_pipe_);
  stdin_pipe_ = -1;
}

bool ProgramRun::Pump(std::chrono::milliseconds wait) {
  if (master_fd_ < 0) {
    std::this_thread::sleep_for(wait);
    return false;
  }
  pollfd readable{master_fd_, POLLIN, 0};
  if (::poll(&readable, 1, static_cast<int>(wait.count())) <= 0) return false;
  std::array<char, 8192> buffer{};
  const ssize_t count = ::read(master_fd_, buffer.data(), buffer.size());
  if (count <= 0) return false;
  const std::string_view bytes(buffer.data(), static_cast<std::size_t>(count));
  screen_->Feed(bytes);
  return true;
}

bool ProgramRun::WaitFor(const std::function<bool(const VirtualTerminal&)>& condition,
                         std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition(*screen_)) {
    if (Clock::now() >= deadline) return false;
    Pump(std::chrono::milliseconds(20));
  }
  return true;
}

bool ProgramRun::WaitForCursor(int column, int row) {
  return WaitFor([&](const VirtualTerminal& screen) {
    return screen.CursorColumn() == column && screen.CursorRow() == row;
  });
}

bool ProgramRun::WaitForText(int row, std::string_view text) {
  return WaitFor([&](const VirtualTerminal& screen) { return screen.Row(row) == text; });
}

void ProgramRun::DrainStdout() {
  if (stdout_pipe_ < 0) return;
  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t count = ::read(stdout_pipe_, buffer.data(), buffer.size());
    if (count <= 0) break;
    stdout_text_.append(buffer.data(), static_cast<std::size_t>(count));
  }
}

int ProgramRun::Finish(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      throw std::runtime_error("the program did not end in time");
    }
    Pump(std::chrono::milliseconds(10));
  }
  while (Pump(std::chrono::milliseconds(0))) {
  }
  DrainStdout();
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  dumped_core_ = WIFSIGNALED(status) && WCOREDUMP(status);
  return status_;
}

void ProgramRun::Signal(int signal_number) const {
  ::kill(pid_, signal_number);
}

void ProgramRun::Resize(int columns, int rows) {
  screen_->Resize(rows, columns);
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  ::ioctl(master_fd_, TIOCSWINSZ, &size);
}

void ProgramRun::HangUp() {
  ::close(master_fd_);
  master_fd_ = -1;
}

termios ProgramRun::TerminalModes() const {
  termios modes{};
  ::tcgetattr(master_fd_, &modes);
  return modes;
}

}  // namespace pagiste::testing
