#include "terminals/tmux_session.hpp"

#include <charconv>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace pagiste::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The one session and pane of the private server.
constexpr const char* kTarget = "pagiste";

struct Pen {
  int foreground = -1;
  int background = -1;
};

std::vector<int> SgrParameters(std::string_view text) {
  std::vector<int> parameters;
  for (;;) {
    const std::size_t separator = text.find_first_of(";:");
    const std::string_view field = text.substr(0, separator);
    int value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    parameters.push_back(value);
    if (separator == std::string_view::npos) return parameters;
    text.remove_prefix(separator + 1);
  }
}

// Colours only: the program uses no other attribute.
void ApplySgr(Pen& pen, std::string_view text) {
  const std::vector<int> parameters = SgrParameters(text);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const int p = parameters[i];
    if (p == 0) {
      pen = Pen{};
    } else if (p >= 30 && p <= 37) {
      pen.foreground = PcColourFromTerminal(p - 30);
    } else if (p >= 90 && p <= 97) {
      pen.foreground = PcColourFromTerminal(p - 90 + 8);
    } else if (p == 39) {
      pen.foreground = -1;
    } else if (p >= 40 && p <= 47) {
      pen.background = PcColourFromTerminal(p - 40);
    } else if (p >= 100 && p <= 107) {
      pen.background = PcColourFromTerminal(p - 100 + 8);
    } else if (p == 49) {
      pen.background = -1;
    } else if ((p == 38 || p == 48) && i + 1 < parameters.size()) {
      int& target = p == 38 ? pen.foreground : pen.background;
      const bool indexed = parameters[i + 1] == 5 && i + 2 < parameters.size();
      target = indexed ? PcColourFromTerminal(parameters[i + 2]) : -2;
      i += indexed ? 2 : 4;
    }
  }
}

std::size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

ScreenCells ParseCapture(std::string_view capture, int rows, int columns) {
  ScreenCells screen(rows, columns);
  Pen pen;
  int row = 1;
  int column = 1;
  std::size_t i = 0;
  while (i < capture.size() && row <= rows) {
    const char byte = capture[i];
    if (byte == '\n') {
      ++row;
      column = 1;
      ++i;
    } else if (byte == '\x1b' && i + 1 < capture.size() && capture[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < capture.size() && (capture[end] < 0x40 || capture[end] > 0x7E)) ++end;
      if (end < capture.size() && capture[end] == 'm')
        ApplySgr(pen, capture.substr(i + 2, end - i - 2));
      i = end + 1;
    } else {
      const std::size_t length =
          std::min(Utf8Length(static_cast<unsigned char>(byte)), capture.size() - i);
      if (column <= columns) {
        screen.At(column, row) =
            CellLook{DecodeUtf8(capture.substr(i, length)), pen.foreground, pen.background};
      }
      ++column;
      i += length;
    }
  }
  return screen;
}

TmuxSession::TmuxSession(int columns, int rows) : socket_(UniqueName("pagiste")) {
  // The pane is kept after the program's end, so that its last screen can be
  // read.
  std::vector<std::string> arguments = {
      "new-session",        "-d", "-s",         kTarget, "-x", std::to_string(columns), "-y",
      std::to_string(rows), "-c", folder_.App()};
  for (std::string& argument : ProgramRecordingItsStatus(StatusFile()))
    arguments.push_back(std::move(argument));
  for (const char* option : {";", "set-option", "-g", "remain-on-exit", "on"})
    arguments.emplace_back(option);
  MustRun(arguments);
  program_term_ = Tmux({"show-options", "-g", "-v", "default-terminal"}).output;
  while (!program_term_.empty() && program_term_.back() == '\n') program_term_.pop_back();
}

TmuxSession::~TmuxSession() {
  try {
    [[maybe_unused]] const CommandResult ignored = Tmux({"kill-server"});
  } catch (const std::exception&) {
    // Nothing more to be done from a destructor.
  }
}

CommandResult TmuxSession::Tmux(std::vector<std::string> arguments) const {
  arguments.insert(arguments.begin(), {RequireProgram("tmux"), "-L", socket_, "-f", "/dev/null"});
  // Keys and screens are UTF-8 whatever the tests' locale.
  return RunCommand(arguments, {"LC_ALL=C.UTF-8"});
}

void TmuxSession::MustRun(const std::vector<std::string>& arguments) const {
  const CommandResult result = Tmux(arguments);
  if (result.status != 0) {
    throw std::runtime_error("tmux " + arguments.front() + " failed with status " +
                             std::to_string(result.status));
  }
}

void TmuxSession::Type(std::string_view text) {
  MustRun({"send-keys", "-t", kTarget, "-l", "--", std::string(text)});
}

void TmuxSession::Press(const std::vector<NamedKey>& keys) {
  std::vector<std::string> arguments = {"send-keys", "-t", kTarget};
  for (const NamedKey key : keys) arguments.emplace_back(KeyName(key));
  MustRun(arguments);
}

ScreenCells TmuxSession::Screen() {
  // One command list, so that cells and cursor are read at the same moment.
  const CommandResult result =
      Tmux({"capture-pane", "-p", "-e", "-N", "-t", kTarget, ";", "display-message", "-p", "-t",
            kTarget, "#{cursor_x} #{cursor_y} #{cursor_flag} #{pane_width} #{pane_height}"});
  if (result.status != 0) throw std::runtime_error("tmux capture-pane failed");
  std::string_view output = result.output;
  if (!output.empty() && output.back() == '\n') output.remove_suffix(1);
  const std::size_t last_line = output.rfind('\n');
  std::istringstream cursor_line(std::string(output.substr(last_line + 1)));
  int x = 0;
  int y = 0;
  int shown = 0;
  int width = 0;
  int height = 0;
  cursor_line >> x >> y >> shown >> width >> height;
  ScreenCells screen = ParseCapture(output.substr(0, last_line + 1), height, width);
  screen.cursor_column = x + 1;
  screen.cursor_row = y + 1;
  screen.cursor_visible = shown != 0;
  return screen;
}

void TmuxSession::Resize(int columns, int rows) {
  MustRun(
      {"resize-window", "-t", kTarget, "-x", std::to_string(columns), "-y", std::to_string(rows)});
}

int TmuxSession::Finish() {
  return WaitForRecordedStatus(StatusFile(),
                               [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
}

}  // namespace pagiste::testing
