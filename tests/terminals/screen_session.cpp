#include "terminals/screen_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "terminals/child_process.hpp"

namespace pagiste::testing {
namespace {

using Clock = std::chrono::steady_clock;

// screen's own defaults but for the login record, whose failure in a
// container would show a message over the last row; no background colour
// erase, as screen has it unless told otherwise.
constexpr std::string_view kScreenRc =
    "deflogin off\n"
    "defbce off\n"
    "startup_message off\n";

winsize Size(int columns, int rows) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  return size;
}

}  // namespace

ScreenSession::ScreenSession(int columns, int rows)
    : name_(UniqueName("pagiste")), terminal_(rows, columns) {
  const std::string screen_dir = folder_.Root() + "/screens";
  std::filesystem::create_directory(screen_dir);
  std::filesystem::permissions(screen_dir, std::filesystem::perms::owner_all);
  const std::string rc_file = folder_.Root() + "/screenrc";
  std::ofstream(rc_file) << kScreenRc;
  std::vector<std::string> screen_command = {
      RequireProgram("screen"), "-q", "-c", rc_file, "-S", name_};
  for (std::string& argument : ProgramRecordingItsStatus(StatusFile()))
    screen_command.push_back(std::move(argument));
  // screen reads and writes UTF-8 whatever the tests' locale; it is not
  // told of any screen or tmux it might run in.
  const PreparedCommand screen(screen_command, {"TERM=xterm-256color", "LC_ALL=C.UTF-8",
                                                "SCREENDIR=" + screen_dir, "STY", "TMUX"});
  const std::string directory = folder_.App();
  winsize size = Size(columns, rows);
  pid_ = ::forkpty(&master_fd_, nullptr, nullptr, &size);
  if (pid_ < 0) throw std::runtime_error("forkpty");
  if (pid_ == 0) {
    if (::chdir(directory.c_str()) != 0) ::_exit(120);
    screen.Exec();
  }
  ::fcntl(master_fd_, F_SETFL, ::fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
}

ScreenSession::~ScreenSession() {
  try {
    if (!ended_ && pid_ > 0) Quit();
  } catch (const std::exception&) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (master_fd_ >= 0) ::close(master_fd_);
}

void ScreenSession::Quit() {
  // screen's server, with the program, is not the attacher's child: it is
  // told to quit, then the attacher ends.
  [[maybe_unused]] const CommandResult ignored =
      RunCommand({RequireProgram("screen"), "-S", name_, "-X", "quit"}, ScreenEnvironment());
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      return;
    }
    Pump(10);
  }
}

std::vector<std::string> ScreenSession::ScreenEnvironment() const {
  return {"SCREENDIR=" + folder_.Root() + "/screens"};
}

bool ScreenSession::Pump(int wait_ms) {
  pollfd readable{master_fd_, POLLIN, 0};
  if (::poll(&readable, 1, wait_ms) <= 0) return false;
  std::array<char, 8192> buffer{};
  const ssize_t count = ::read(master_fd_, buffer.data(), buffer.size());
  if (count <= 0) return false;
  terminal_.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
  const std::string replies = terminal_.TakeReplies();
  if (!replies.empty()) WriteAll(master_fd_, replies);
  return true;
}

void ScreenSession::Type(std::string_view text) {
  WriteAll(master_fd_, text);
}

void ScreenSession::Press(const std::vector<NamedKey>& keys) {
  std::string bytes;
  for (const NamedKey key : keys) bytes += terminal_.KeyBytes(key);
  WriteAll(master_fd_, bytes);
}

ScreenCells ScreenSession::Screen() {
  Pump(10);
  while (Pump(0)) {
  }
  return Snapshot(terminal_);
}

void ScreenSession::Resize(int columns, int rows) {
  // What screen sent at the old size is shown first.
  while (Pump(50)) {
  }
  terminal_.Resize(rows, columns);
  const winsize size = Size(columns, rows);
  if (::ioctl(master_fd_, TIOCSWINSZ, &size) != 0) throw std::runtime_error("TIOCSWINSZ");
  ::kill(pid_, SIGWINCH);
}

int ScreenSession::Finish() {
  const int status = WaitForRecordedStatus(StatusFile(), [this] { Pump(10); });
  // screen ends with its last window.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (Clock::now() >= deadline) return -1;
    Pump(10);
  }
  ended_ = true;
  while (Pump(0)) {
  }
  return status;
}

}  // namespace pagiste::testing
