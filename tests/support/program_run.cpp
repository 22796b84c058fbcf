#include "support/program_run.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  if (options.open_files_limit >= 0) {
    const rlimit limit{static_cast<rlim_t>(options.open_files_limit),
                       static_cast<rlim_t>(options.open_files_limit)};
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
  if (stdin_read >= 0) ::dup2(stdin_read, STDIN_FILENO);
  if (stdout_write >= 0) ::dup2(stdout_write, STDOUT_FILENO);
  // Nothing of the test runner's (ctest keeps descriptors of its own open):
  // the program starts with its three standard descriptors only.
  ::close_range(3, ~0U, 0);
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

bool InContinuousIntegration() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

termios FreshTerminalModes() {
  int master = -1;
  int slave = -1;
  termios modes{};
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
    ::tcgetattr(slave, &modes);
    ::close(master);
    ::close(slave);
  }
  return modes;
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
      screen_(std::make_unique<VirtualTerminal>(options.rows, options.columns)),
      keys_from_terminal_(!options.stdin_from_pipe) {
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

void ProgramRun::Type(std::string_view keys) {
  CountKeysFromHere();
  WriteAll(master_fd_, keys);
  bytes_typed_ += static_cast<long>(keys.size());
}

// Whether the program has ended, leaving it to Finish to collect.
bool ProgramRun::Ended() const {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid_;
}

// Blocked in ppoll with no timeout: the wait for a key with no Esc pending.
// Or blocked reading the keyboard, where a failed ppoll leaves it.
bool ProgramRun::WaitsForAKey() const {
  std::ifstream file("/proc/" + std::to_string(pid_) + "/syscall");
  long number = -1;
  std::string first_argument;
  std::string second_argument;
  std::string third_argument;
  file >> number >> first_argument >> second_argument >> third_argument;
  if (!file) return false;
  return (number == SYS_ppoll && third_argument == "0x0") ||
         (number == SYS_read && first_argument == "0x0");
}

long ProgramRun::TimesAsleep() const {
  std::ifstream file("/proc/" + std::to_string(pid_) + "/status");
  constexpr std::string_view kField = "voluntary_ctxt_switches:";
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with(kField)) return std::stol(line.substr(kField.size()));
  }
  return -1;
}

long ProgramRun::BytesRead() const {
  std::ifstream file("/proc/" + std::to_string(pid_) + "/io");
  std::string name;
  long count = -1;
  while (file >> name >> count) {
    if (name == "rchar:") return count;
  }
  return -1;
}

// What the program has read before its first key (its libraries, the
// terminal's description) is measured once it waits for that key.
void ProgramRun::CountKeysFromHere() {
  if (!keys_from_terminal_ || bytes_read_before_keys_ >= 0) return;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!WaitsForAKey() && !Ended() && Clock::now() < deadline) {
    Pump(std::chrono::milliseconds(1));
  }
  bytes_read_before_keys_ = BytesRead();
}

bool ProgramRun::WaitUntilSettled(std::chrono::milliseconds timeout) {
  CountKeysFromHere();
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    // Every byte read first, and only then the wait: the other order could
    // see the wait from before the last bytes arrived.
    // After a change of size, the program must also have woken, drawn and
    // gone back to sleep: until then it still seems to wait as before.
    const bool resize_drawn = asleep_before_resize_ < 0 || TimesAsleep() > asleep_before_resize_;
    if (bytes_read_before_keys_ >= 0 && BytesRead() == bytes_read_before_keys_ + bytes_typed_ &&
        resize_drawn && WaitsForAKey()) {
      asleep_before_resize_ = -1;
      ReadScreen();
      return true;
    }
    if (Clock::now() >= deadline || Ended()) return false;
    Pump(std::chrono::milliseconds(1));
  }
}

void ProgramRun::Resize(int columns, int rows) {
  ReadScreen();
  // The kernel tells the program only of a size that differs. To know when
  // it has drawn the new size, count its sleeps from one it is surely in:
  // blocked waiting for a key, every byte typed read.
  const bool changes = columns != screen_->Columns() || rows != screen_->Rows();
  if (changes && keys_from_terminal_ && asleep_before_resize_ < 0 && pid_ > 0 &&
      WaitUntilSettled()) {
    asleep_before_resize_ = TimesAsleep();
  }
  screen_->Resize(rows, columns);
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  if (::ioctl(master_fd_, TIOCSWINSZ, &size) != 0) throw std::runtime_error("TIOCSWINSZ");
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

void ProgramRun::ReadScreen() {
  while (Pump(std::chrono::milliseconds(0))) {
  }
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
