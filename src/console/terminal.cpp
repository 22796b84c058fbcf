#include "console/terminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/write_all.hpp"
#include "console/terminfo.hpp"

namespace pagiste {
namespace {

constexpr std::string_view kNoHandle = "No way to get the console handle\r\n";
constexpr std::string_view kNoScreenInfo = "No way to get console screen buffer info\r\n";

// Bytes that hand the terminal back in its usual state: colours, autowrap and
// a visible cursor.
constexpr std::string_view kTerminalRestore = "\x1b[0m\x1b[?7h\x1b[?25h";

// Set by the handler of SIGWINCH, which is let through only while waiting.
volatile std::sig_atomic_t g_window_changed = 0;

void NoteWindowChange(int /*signal_number*/) {
  g_window_changed = 1;
}

bool TakeWindowChange() {
  const bool changed = g_window_changed != 0;
  g_window_changed = 0;
  return changed;
}

// One terminal's modes as found, when they could be read.
struct SavedModes {
  int fd = -1;  // -1: nothing to put back
  termios modes{};
};

// Everything the hand-back needs, kept where a signal handler finds it.
struct Restoration {
  int draw_fd = -1;
  SavedModes output;
  SavedModes input;  // a keyboard other than the drawing terminal
};

void SetModes(int fd, const termios& modes) {
  while (::tcsetattr(fd, TCSANOW, &modes) != 0 && errno == EINTR) {
  }
}

// Async-signal-safe: runs from a signal handler as well as at the end.
void HandBack(const Restoration& restoration) {
  if (restoration.input.fd >= 0) SetModes(restoration.input.fd, restoration.input.modes);
  if (restoration.output.fd >= 0) SetModes(restoration.output.fd, restoration.output.modes);
  WriteAll(restoration.draw_fd, kTerminalRestore);
}

// Modes that could not be read are never "restored" later.
SavedModes ReadModes(int fd) {
  SavedModes saved;
  if (::tcgetattr(fd, &saved.modes) == 0) saved.fd = fd;
  return saved;
}

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

void ChangeModes(const SavedModes& saved, termios (*change)(termios)) {
  if (saved.fd >= 0) SetModes(saved.fd, change(saved.modes));
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
  handles.erases_in_colour = TerminalErasesInColour(handles.output_fd);
  handles.input_fd = STDIN_FILENO;
  handles.input_is_terminal = ::isatty(STDIN_FILENO) != 0;
  return handles;
}

TerminalDevice::TerminalDevice(const ConsoleHandles& handles) : handles_(handles) {
  Restoration restoration;
  restoration.draw_fd = handles_.output_fd;
  restoration.output = ReadModes(handles_.output_fd);
  const bool keys_from_output_terminal =
      handles_.input_is_terminal && SameTerminal(handles_.input_fd, handles_.output_fd);
  if (handles_.input_is_terminal && !keys_from_output_terminal)
    restoration.input = ReadModes(handles_.input_fd);
  restore_slot_ = emergency::Register<Restoration, HandBack>(restoration);
  ChangeModes(restoration.output, keys_from_output_terminal ? KeyboardModes : DrawingModes);
  ChangeModes(restoration.input, KeyboardModes);
  WatchWindowSize();
}

// SIGWINCH is held back except while waiting for a key, so that a change of
// size always wakes the wait and never cuts into anything else.
void TerminalDevice::WatchWindowSize() {
  struct sigaction action {};
  action.sa_handler = NoteWindowChange;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGWINCH, &action, nullptr);
  sigset_t window_change{};
  sigemptyset(&window_change);
  sigaddset(&window_change, SIGWINCH);
  ::pthread_sigmask(SIG_BLOCK, &window_change, &wait_mask_);
  sigdelset(&wait_mask_, SIGWINCH);
}

WindowSize TerminalDevice::Size() {
  if (const auto size = ReadSize(handles_.output_fd)) handles_.size = *size;
  return handles_.size;
}

TerminalDevice::~TerminalDevice() {
  Restore();
  if (handles_.owns_output_fd) ::close(handles_.output_fd);
}

void TerminalDevice::Restore() {
  emergency::RunNow(restore_slot_);
  restore_slot_ = emergency::kNone;
}

void TerminalDevice::Send(std::string_view bytes) const {
  WriteAll(handles_.output_fd, bytes);
}

TerminalDevice::ReadResult TerminalDevice::Read(
    std::string& bytes, std::optional<std::chrono::milliseconds> timeout) const {
  pollfd readable{handles_.input_fd, POLLIN, 0};
  timespec wait{};
  if (timeout) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(*timeout);
    wait.tv_sec = static_cast<time_t>(seconds.count());
    wait.tv_nsec = static_cast<long>(std::chrono::nanoseconds(*timeout - seconds).count());
  }
  for (;;) {
    const int ready = ::ppoll(&readable, 1, timeout ? &wait : nullptr, &wait_mask_);
    if (ready == 0) return ReadResult::kTimeout;
    if (ready < 0 && errno == EINTR) {
      if (TakeWindowChange()) return ReadResult::kResized;
      continue;
    }
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
