#include "terminals/xterm/xterm_window.hpp"

#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/cp850.hpp"
#include "support/fixtures.hpp"

namespace pagiste::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr auto kStartTime = std::chrono::seconds(15);

struct Rgb {
  int red;
  int green;
  int blue;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The sixteen colours given to xterm, in its own (ANSI) order, so that the
// dump's colours read back as palette entries; the default colours and the
// cursor's are used nowhere else.
constexpr std::array<Rgb, 16> kPalette = {{
    {0x00, 0x00, 0x00},
    {0xcd, 0x00, 0x00},
    {0x00, 0xcd, 0x00},
    {0xcd, 0xcd, 0x00},
    {0x00, 0x00, 0xee},
    {0xcd, 0x00, 0xcd},
    {0x00, 0xcd, 0xcd},
    {0xe5, 0xe5, 0xe5},
    {0x7f, 0x7f, 0x7f},
    {0xff, 0x00, 0x00},
    {0x00, 0xff, 0x00},
    {0xff, 0xff, 0x00},
    {0x5c, 0x5c, 0xff},
    {0xff, 0x00, 0xff},
    {0x00, 0xff, 0xff},
    {0xff, 0xff, 0xff},
}};
constexpr Rgb kDefaultForeground{0x10, 0x20, 0x30};
constexpr Rgb kDefaultBackground{0xf0, 0xe0, 0xd0};
constexpr Rgb kCursor{0x12, 0xfe, 0x34};

std::string Hex(const Rgb& colour) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "#%02x%02x%02x", colour.red, colour.green, colour.blue);
  return text.data();
}

// "rgb(93.33%, 0.00%, 0.00%)" as the dump writes colours.
Rgb ParseRgb(const std::string& style, const std::string& property) {
  const std::size_t start = style.find(property + ": rgb(");
  if (start == std::string::npos)
    return property == "color" ? kDefaultForeground : kDefaultBackground;
  std::istringstream values(style.substr(start + property.size() + 6));
  std::array<double, 3> percent{};
  char separator = 0;
  values >> percent[0] >> separator >> separator >> percent[1] >> separator >> separator >>
      percent[2];
  const auto level = [](double p) { return static_cast<int>(std::lround(p * 255.0 / 100.0)); };
  return {level(percent[0]), level(percent[1]), level(percent[2])};
}

int PcColour(const Rgb& colour, const Rgb& default_colour) {
  if (colour == default_colour) return -1;
  for (std::size_t index = 0; index < kPalette.size(); ++index) {
    if (kPalette[index] == colour) return PcColourFromTerminal(static_cast<int>(index));
  }
  return -2;
}

std::string Unescape(const std::string& html) {
  static const std::map<std::string, std::string> kNamed = {
      {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"quot", "\""}, {"apos", "'"}};
  std::string text;
  for (std::size_t i = 0; i < html.size(); ++i) {
    const std::size_t end = html[i] == '&' ? html.find(';', i) : std::string::npos;
    if (end == std::string::npos) {
      text += html[i];
      continue;
    }
    const std::string name = html.substr(i + 1, end - i - 1);
    if (name.starts_with('#')) {
      const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
      AppendUtf8(text, static_cast<char32_t>(
                           std::stoul(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10)));
    } else {
      text += kNamed.at(name);
    }
    i = end;
  }
  return text;
}

// One row of the dump: spans of cells sharing their colours.
std::vector<CellLook> ParseRow(const std::string& line) {
  std::vector<CellLook> cells;
  std::size_t at = 0;
  while ((at = line.find("<span", at)) != std::string::npos) {
    const std::size_t open_end = line.find('>', at);
    const std::size_t close = line.find("</span>", open_end);
    const std::string tag = line.substr(at, open_end - at);
    const std::size_t style_start = tag.find("style='");
    const std::string style =
        style_start == std::string::npos
            ? ""
            : tag.substr(style_start + 7, tag.find('\'', style_start + 7) - style_start - 7);
    const int foreground = PcColour(ParseRgb(style, "color"), kDefaultForeground);
    const int background = PcColour(ParseRgb(style, "background"), kDefaultBackground);
    for (char32_t c : DecodeUtf8(Unescape(line.substr(open_end + 1, close - open_end - 1)))) {
      // The dump writes every blank as a no-break space (which the program
      // never shows: it is not typed in these checks).
      if (c == U'\u00a0') c = U' ';
      cells.push_back({std::u32string(1, c), foreground, background});
    }
    at = close;
  }
  return cells;
}

struct Picture {
  int width = 0;
  int height = 0;
  std::string pixels;  // RGB, three bytes each
  [[nodiscard]] Rgb At(int x, int y) const {
    const std::size_t index = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) *
                              3;
    return {static_cast<unsigned char>(pixels[index]),
            static_cast<unsigned char>(pixels[index + 1]),
            static_cast<unsigned char>(pixels[index + 2])};
  }
};

// A binary PPM picture; its header may carry comments (the window's name).
Picture ParsePpm(const std::string& ppm) {
  std::size_t at = 0;
  const auto next_number = [&]() {
    for (;;) {
      while (at < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[at])) != 0) ++at;
      if (at < ppm.size() && ppm[at] == '#') {
        at = ppm.find('\n', at);
        continue;
      }
      std::size_t length = 0;
      const int number = std::stoi(ppm.substr(at, 12), &length);
      at += length;
      return number;
    }
  };
  if (!ppm.starts_with("P6")) throw std::runtime_error("not a PPM picture");
  at = 2;
  Picture picture;
  picture.width = next_number();
  picture.height = next_number();
  if (next_number() != 255) throw std::runtime_error("not an 8-bit PPM picture");
  picture.pixels = ppm.substr(at + 1);
  if (picture.pixels.size() <
      static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3)
    throw std::runtime_error("short PPM picture");
  return picture;
}

// xdotool's names, which are X's own.
std::string XtermKeyName(NamedKey key) {
  return key == NamedKey::kEnter ? "Return" : KeyName(key);
}

std::string Converter() {
  // The real converter, even where a stand-in of that name comes first.
  return fs::exists("/usr/bin/convert") ? "/usr/bin/convert" : RequireProgram("convert");
}

}  // namespace

XtermWindow::XtermWindow(int columns, int rows) {
  StartServer();
  StartXterm(columns, rows);
  FindWindow();
}

XtermWindow::~XtermWindow() {
  xterm_.reset();
  server_.reset();
}

void XtermWindow::StartServer() {
  ChildOptions options;
  options.pipe_fd3 = true;
  options.error_file = folder_.Root() + "/xvfb.log";
  // Xvfb picks a free display itself and names it on descriptor 3. Without
  // -noreset it starts over whenever its last client leaves: a look for the
  // window made before xterm connects would shut xterm out.
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{RequireProgram("Xvfb"), "-displayfd", "3", "-screen", "0",
                               "1024x768x24", "-nolisten", "tcp", "-noreset"},
      options);
  const std::string display = server_->ReadLine(kStartTime, true);
  environment_ = {"DISPLAY=:" + display, "LC_ALL=C.UTF-8"};
}

void XtermWindow::StartXterm(int columns, int rows) {
  std::vector<std::string> command = {
      RequireProgram("xterm"), "-geometry",
      std::to_string(columns) + "x" + std::to_string(rows) + "+0+0", "-b", "0", "-w", "0", "-u8",
      "-ut", "-fa", "DejaVu Sans Mono", "-fs", "10", "-fg", Hex(kDefaultForeground), "-bg",
      Hex(kDefaultBackground), "-cr", Hex(kCursor),
      // A filled cursor even without the focus; F12 writes the screen dump.
      "-xrm", "XTerm*alwaysHighlight: true", "-xrm", "XTerm*cursorBlink: false", "-xrm",
      "XTerm*VT100.translations: #override <Key>F12: dump-html()"};
  for (std::size_t index = 0; index < kPalette.size(); ++index) {
    command.emplace_back("-xrm");
    command.push_back("XTerm*VT100.color" + std::to_string(index) + ": " + Hex(kPalette[index]));
  }
  // The window stays after the program's end.
  command.insert(command.end(), {"-hold", "-e"});
  for (std::string& argument : ProgramRecordingItsStatus(StatusFile()))
    command.push_back(std::move(argument));
  ChildOptions options;
  options.directory = folder_.App();
  options.environment = environment_;
  options.error_file = folder_.Root() + "/xterm.log";
  xterm_ = std::make_unique<ChildProcess>(command, options);
}

std::string XtermWindow::X(std::vector<std::string> command) {
  command.front() = RequireProgram(command.front());
  const CommandResult result = RunCommand(command, environment_);
  if (result.status != 0)
    throw std::runtime_error(command.front() + " " + command.at(1) + " failed");
  return result.output;
}

void XtermWindow::FindWindow() {
  const auto deadline = Clock::now() + kStartTime;
  while (window_.empty()) {
    if (Clock::now() >= deadline) {
      throw std::runtime_error(
          "xterm's window did not appear: " + ReadFile(folder_.Root() + "/xterm.log") +
          ReadFile(folder_.Root() + "/xvfb.log"));
    }
    const CommandResult found = RunCommand(
        {RequireProgram("xdotool"), "search", "--onlyvisible", "--class", "xterm"}, environment_);
    window_ = found.output.substr(0, found.output.find('\n'));
    if (window_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  X({"xdotool", "windowfocus", "--sync", window_});
  std::istringstream geometry(X({"xdotool", "getwindowgeometry", "--shell", window_}));
  std::string line;
  int width = 0;
  int height = 0;
  while (std::getline(geometry, line)) {
    if (line.starts_with("WIDTH=")) width = std::stoi(line.substr(6));
    if (line.starts_with("HEIGHT=")) height = std::stoi(line.substr(7));
  }
  const ScreenCells first = ReadDump();
  if (first.columns == 0 || first.rows == 0) throw std::runtime_error("empty screen dump");
  cell_width_ = width / first.columns;
  cell_height_ = height / first.rows;
}

// xdotool types a character missing from the keyboard map by lending it a key
// for an instant, which xterm may read after the key is taken back: such
// characters get keys of their own first, as on a keyboard that has them.
void XtermWindow::MapKeys(std::string_view text) {
  if (free_keycodes_.empty() && mapped_.empty()) {
    std::istringstream keymap(X({"xmodmap", "-pke"}));
    std::string line;
    while (std::getline(keymap, line)) {
      std::istringstream words(line);
      std::string keycode;
      std::string equals;
      std::string first_symbol;
      int number = 0;
      if (words >> keycode >> number >> equals && !(words >> first_symbol))
        free_keycodes_.push_back(number);
    }
  }
  for (const char32_t c : DecodeUtf8(text)) {
    if (c < 0x80 || mapped_.find(c) != std::u32string::npos) continue;
    if (free_keycodes_.empty()) throw std::runtime_error("no free key left for a character");
    // Latin-1 keysyms are the code points; others are 0x1000000 + the code point.
    const unsigned long keysym = c < 0x100 ? c : 0x1000000UL + c;
    std::array<char, 16> hex{};
    std::snprintf(hex.data(), hex.size(), "0x%lx", keysym);
    X({"xmodmap", "-e", "keycode " + std::to_string(free_keycodes_.back()) + " = " + hex.data()});
    free_keycodes_.pop_back();
    mapped_ += c;
  }
}

void XtermWindow::Type(std::string_view text) {
  MapKeys(text);
  X({"xdotool", "type", "--delay", "5", std::string(text)});
}

void XtermWindow::Press(const std::vector<NamedKey>& keys) {
  std::vector<std::string> command = {"xdotool", "key", "--delay", "1"};
  for (const NamedKey key : keys) command.push_back(XtermKeyName(key));
  X(command);
}

void XtermWindow::Resize(int columns, int rows) {
  X({"xdotool", "windowsize", "--usehints", window_, std::to_string(columns),
     std::to_string(rows)});
}

ScreenCells XtermWindow::ReadDump() const {
  for (const auto& entry : fs::directory_iterator(folder_.App())) {
    if (entry.path().extension() == ".xhtml") fs::remove(entry.path());
  }
  const CommandResult pressed = RunCommand({RequireProgram("xdotool"), "key", "F12"}, environment_);
  if (pressed.status != 0) throw std::runtime_error("xdotool key F12 failed");
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    for (const auto& entry : fs::directory_iterator(folder_.App())) {
      if (entry.path().extension() != ".xhtml") continue;
      const std::string html = ReadFile(entry.path());
      const std::size_t start = html.find("<pre>");
      const std::size_t end = html.find("</pre>");
      if (start == std::string::npos || end == std::string::npos) continue;
      std::vector<std::vector<CellLook>> rows;
      std::istringstream lines(html.substr(start + 5, end - start - 5));
      std::string line;
      while (std::getline(lines, line)) rows.push_back(ParseRow(line));
      ScreenCells screen(static_cast<int>(rows.size()), static_cast<int>(rows.front().size()));
      for (int row = 1; row <= screen.rows; ++row) {
        const auto& cells = rows[static_cast<std::size_t>(row - 1)];
        for (int column = 1; column <= screen.columns && column <= static_cast<int>(cells.size());
             ++column)
          screen.At(column, row) = cells[static_cast<std::size_t>(column - 1)];
      }
      return screen;
    }
    if (Clock::now() >= deadline) throw std::runtime_error("xterm wrote no screen dump");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The cursor is the cell mostly painted in the cursor's colour; none when
// the program hides it, and then its place is not told (column 0).
void XtermWindow::FindCursor(ScreenCells& screen) {
  picture_ = X({"xwd", "-silent", "-id", window_});
  const Picture picture =
      ParsePpm(RunCommand({Converter(), "xwd:-", "ppm:-"}, environment_, picture_).output);
  int best = 0;
  int best_column = 0;
  int best_row = 0;
  for (int row = 1; row <= screen.rows; ++row) {
    for (int column = 1; column <= screen.columns; ++column) {
      int painted = 0;
      for (int y = (row - 1) * cell_height_; y < row * cell_height_ && y < picture.height; ++y) {
        for (int x = (column - 1) * cell_width_; x < column * cell_width_ && x < picture.width; ++x)
          painted += picture.At(x, y) == kCursor ? 1 : 0;
      }
      if (painted > best) {
        best = painted;
        best_column = column;
        best_row = row;
      }
    }
  }
  const bool shown = best * 3 > cell_width_ * cell_height_;
  screen.cursor_column = shown ? best_column : 0;
  screen.cursor_row = shown ? best_row : 0;
  screen.cursor_visible = shown;
}

ScreenCells XtermWindow::Screen() {
  ScreenCells screen = ReadDump();
  FindCursor(screen);
  return screen;
}

void XtermWindow::KeepPicture(const std::string& name) {
  const std::string folder = PAGISTE_TERMINAL_PICTURES;
  fs::create_directories(folder);
  const CommandResult png = RunCommand(
      {Converter(), "xwd:-", "png:" + folder + "/" + name + ".png"}, environment_, picture_);
  if (png.status != 0) throw std::runtime_error("no picture of the window");
}

int XtermWindow::Finish() {
  return WaitForRecordedStatus(StatusFile(),
                               [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
}

}  // namespace pagiste::testing
