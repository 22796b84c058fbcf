#include "console/terminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace pagiste {
namespace {

constexpr std::string_view kNoHandle = "No way to get the console handle\r\n";
constexpr std::string_view kNoScreenInfo = "No way to get console screen buffer info\r\n";

// What must be put back, kept where a signal handler can reach it.
struct SavedModes {
  int fd = -1;
  termios modes{};
};
struct RestoreState {
  SavedModes output;
  SavedModes input;  // fd -1 when input is the output's terminal, or no terminal
  int draw_fd = -1;
  volatile sig_atomic_t active = 0;
};
RestoreState g_restore;

}  // namespace

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno == EAGAIN) {
      pollfd writable{fd, POLLOUT, 0};
      ::poll(&writable, 1, -1);
    } else if (written == 0 || errno != EINTR) {
      return;
    }
  }
}

void RestoreTerminalNow() {
  if (g_restore.active == 0) return;
  g_restore.active = 0;
  if (g_restore.input.fd >= 0) ::tcsetattr(g_restore.input.fd, TCSANOW, &g_restore.input.modes);
  ::tcsetattr(g_restore.output.fd, TCSANOW, &g_restore.output.modes);
  [[maybe_unused]] const ssize_t ignored =
      ::write(g_restore.draw_fd, kTerminalRestore.data(), kTerminalRestore.size());
}

namespace {

// The keys' terminal: every byte as typed, nothing done by the terminal
// itself. On both, output bytes go out exactly as the program sends them.
termios KeyboardModes(termios modes) {
  modes.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF);
  modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  modes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  modes.c_cflag |= CS8;
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  return modes;
}

// A terminal that is only drawn on: no echo of stray typing, but Ctrl+C
// still interrupts since no key is read from it.
termios DrawingModes(termios modes) {
  modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON);
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  return modes;
}

bool SameTerminal(int first_fd, int second_fd) {
  struct stat first {};
  struct stat second {};
  return ::fstat(first_fd, &first) == 0 && ::fstat(second_fd, &second) == 0 &&
         first.st_rdev == second.st_rdev;
}

std::optional<WindowSize> ReadSize(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return std::nullopt;
  if (size.ws_col == 0 || size.ws_row == 0) return WindowSize{};  // unknown: 80 x 25
  return WindowSize{size.ws_col, size.ws_row};
}

}  // namespace

std::optional<ConsoleHandles> OpenConsole() {
  ConsoleHandles handles;
  handles.output_fd = STDOUT_FILENO;
  std::optional<WindowSize> size = ReadSize(STDOUT_FILENO);
  if (!size) {
    handles.output_fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (handles.output_fd < 0) {
      WriteAll(STDERR_FILENO, kNoHandle);
      return std::nullopt;
    }
    handles.owns_output_fd = true;
    size = ReadSize(handles.output_fd);
    if (!size) {
      WriteAll(STDERR_FILENO, kNoScreenInfo);
      ::close(handles.output_fd);
      return std::nullopt;
    }
  }
  handles.size = *size;
  handles.input_fd = STDIN_FILENO;
  handles.input_is_terminal = ::isatty(STDIN_FILENO) != 0;
  return handles;
}

TerminalDevice::TerminalDevice(const ConsoleHandles& handles) : handles_(handles) {
  g_restore.draw_fd = handles_.output_fd;
  g_restore.output.fd = handles_.output_fd;
  g_restore.input.fd = -1;
  ::tcgetattr(handles_.output_fd, &g_restore.output.modes);
  const bool keys_from_output_terminal =
      handles_.input_is_terminal && SameTerminal(handles_.input_fd, handles_.output_fd);
  if (handles_.input_is_terminal && !keys_from_output_terminal) {
    g_restore.input.fd = handles_.input_fd;
    ::tcgetattr(handles_.input_fd, &g_restore.input.modes);
  }
  g_restore.active = 1;
  const termios output_modes = keys_from_output_terminal ? KeyboardModes(g_restore.output.modes)
                                                         : DrawingModes(g_restore.output.modes);
  ::tcsetattr(handles_.output_fd, TCSANOW, &output_modes);
  if (g_restore.input.fd >= 0) {
    const termios input_modes = KeyboardModes(g_restore.input.modes);
    ::tcsetattr(handles_.input_fd, TCSANOW, &input_modes);
  }
}

TerminalDevice::~TerminalDevice() {
  Restore();
  if (handles_.owns_output_fd) ::close(handles_.output_fd);
}

// One terminal per process: what is put back is kept where signals reach it.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
void TerminalDevice::Restore() {
  RestoreTerminalNow();
}

void TerminalDevice::Send(std::string_view bytes) const {
  WriteAll(handles_.output_fd, bytes);
}

TerminalDevice::ReadResult TerminalDevice::Read(
    std::string& bytes, std::optional<std::chrono::milliseconds> timeout) const {
  pollfd readable{handles_.input_fd, POLLIN, 0};
  const int wait_ms = timeout ? static_cast<int>(timeout->count()) : -1;
  for (;;) {
    const int ready = ::poll(&readable, 1, wait_ms);
    if (ready == 0) return ReadResult::kTimeout;
    if (ready < 0 && errno == EINTR) continue;
    std::array<char, 4096> buffer{};
    const ssize_t count = ::read(handles_.input_fd, buffer.data(), buffer.size());
    if (count > 0) {
      bytes.assign(buffer.data(), static_cast<std::size_t>(count));
      return ReadResult::kBytes;
    }
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return ReadResult::kEnd;  // end of file, hang-up (EIO) or a broken descriptor
  }
}

}  // namespace pagiste
