#include "terminals/xtermjs/xtermjs_terminal.hpp"

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
#include <sstream>
#include <stdexcept>

namespace pagiste::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAnswerTime = std::chrono::seconds(10);

std::vector<std::string> NodeCommand(int columns, int rows) {
  const std::string folder = PAGISTE_XTERMJS_DIR;
  if (!std::filesystem::exists(folder + "/node_modules/@xterm/headless/package.json"))
    throw std::runtime_error("xterm.js is not installed in " + folder +
                             ": run scripts/install-deps.sh --tests");
  return {RequireProgram("node"), folder + "/xtermjs_terminal.js", std::to_string(columns),
          std::to_string(rows)};
}

ChildOptions NodeOptions() {
  ChildOptions options;
  options.pipe_input = true;
  options.pipe_output = true;
  return options;
}

// One cell as the script gives it: FG,BG,HEX.
CellLook ParseCell(const std::string& field) {
  const std::size_t first = field.find(',');
  const std::size_t second = field.find(',', first + 1);
  const int fg = std::stoi(field.substr(0, first));
  const int bg = std::stoi(field.substr(first + 1, second - first - 1));
  CellLook look{DecodeUtf8(FromHex(field.substr(second + 1))),
                fg == -1 ? -1 : PcColourFromTerminal(fg), bg == -1 ? -1 : PcColourFromTerminal(bg)};
  if (look.text.empty()) look.text = U" ";
  return look;
}

}  // namespace

XtermJsTerminal::XtermJsTerminal(int columns, int rows)
    : node_(NodeCommand(columns, rows), NodeOptions()) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  const std::string directory = folder_.App();
  pid_ = ::forkpty(&master_fd_, nullptr, nullptr, &size);
  if (pid_ < 0) throw std::runtime_error("forkpty");
  if (pid_ == 0) {
    // What the editors' terminals announce.
    ::setenv("TERM", "xterm-256color", 1);
    if (::chdir(directory.c_str()) != 0) ::_exit(120);
    ::execl(PAGISTE_PROGRAM, "pagiste", static_cast<char*>(nullptr));
    ::_exit(121);
  }
  ::fcntl(master_fd_, F_SETFL, ::fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
}

XtermJsTerminal::~XtermJsTerminal() {
  if (status_ < 0 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (master_fd_ >= 0) ::close(master_fd_);
}

void XtermJsTerminal::Forward(std::chrono::milliseconds wait) {
  std::array<char, 16384> buffer{};
  for (;;) {
    pollfd readable{master_fd_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(wait.count())) <= 0) return;
    const ssize_t count = ::read(master_fd_, buffer.data(), buffer.size());
    if (count <= 0) return;  // the program has ended and the terminal is closed
    node_.Write("o " + ToHex(std::string_view(buffer.data(), static_cast<std::size_t>(count))) +
                "\n");
    wait = std::chrono::milliseconds(0);
  }
}

std::string XtermJsTerminal::Sent(const std::string& command) {
  Forward(std::chrono::milliseconds(0));
  node_.Write(command + "\n");
  const std::string reply = node_.ReadLine(kAnswerTime);
  if (reply.rfind("d ", 0) != 0) throw std::runtime_error("xterm.js answered: " + reply);
  return FromHex(reply.substr(2));
}

void XtermJsTerminal::Type(std::string_view text) {
  WriteAll(master_fd_, Sent("t " + ToHex(text)));
}

void XtermJsTerminal::Press(const std::vector<NamedKey>& keys) {
  std::string bytes;
  for (const NamedKey key : keys) bytes += Sent(std::string("k ") + KeyName(key));
  WriteAll(master_fd_, bytes);
}

void XtermJsTerminal::Resize(int columns, int rows) {
  Forward(std::chrono::milliseconds(0));
  node_.Write("r " + std::to_string(columns) + " " + std::to_string(rows) + "\n");
  // As a terminal does: its grid first, then the program is told (SIGWINCH).
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  if (::ioctl(master_fd_, TIOCSWINSZ, &size) != 0) throw std::runtime_error("TIOCSWINSZ");
}

ScreenCells XtermJsTerminal::Screen() {
  Forward(std::chrono::milliseconds(10));
  node_.Write("s\n");
  std::istringstream header(node_.ReadLine(kAnswerTime));
  std::string tag;
  int columns = 0;
  int rows = 0;
  int cursor_x = 0;
  int cursor_y = 0;
  int visible = 0;
  header >> tag >> columns >> rows >> cursor_x >> cursor_y >> visible;
  if (tag != "g") throw std::runtime_error("xterm.js gave no screen");
  ScreenCells screen(rows, columns);
  for (int row = 1; row <= rows; ++row) {
    std::istringstream cells(node_.ReadLine(kAnswerTime));
    std::string field;
    for (int column = 1; column <= columns && cells >> field; ++column)
      screen.At(column, row) = ParseCell(field);
  }
  screen.cursor_column = cursor_x + 1;
  screen.cursor_row = cursor_y + 1;
  screen.cursor_visible = visible != 0;
  // xterm.js erases with its default foreground, whatever the pen.
  screen.blank_foreground_shown = false;
  return screen;
}

int XtermJsTerminal::Finish() {
  const auto deadline = Clock::now() + kAnswerTime;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) return -1;
    Forward(std::chrono::milliseconds(10));
  }
  Forward(std::chrono::milliseconds(0));
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

}  // namespace pagiste::testing
