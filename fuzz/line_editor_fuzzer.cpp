// Keys through the line editor and the character writer onto a terminal
// emulator, on a window of any size, resized at any time. After every step the
// emulator must show what a model of the console's screen holds, cell for
// cell, colours and cursor included, and the bytes sent must hold no raw
// control character.
//
// The input: a header, then operations of a byte each, some with arguments.
//   bytes 0-1   the window's columns: 1 + (little-endian number modulo 300)
//   byte 2      its rows: 1 + (byte modulo 100)
//   byte 3      bit 0 set: the terminal is cleared by painting every cell
//   byte 4      the colours the writer starts with
//   0x00-0x7F and 0x8E-0xFF   the key of that character code
//   0x80-0x83   Home, Left, Right, End
//   0x84 c      the key of character c
//   0x85 c n    the key of character c, n + 1 times
//   0x86 x y r  the window resized: columns from x y, rows from r, as in the header
//   0x87 c      foreground colour c
//   0x88 c      background colour c
//   0x89 n ...  text written straight to the writer: n modulo 32 bytes
//   0x8A        the screen cleared
//   0x8B        a step back, and the cursor placed there
//   0x8C, 0x8D  the cursor shown, hidden
// At the end of the input Enter hands the line over.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/control_codes.hpp"
#include "base/cp850.hpp"
#include "console/attribute.hpp"
#include "console/character_writer.hpp"
#include "console/line_editor.hpp"
#include "invariant.hpp"
#include "support/virtual_terminal.hpp"

namespace pagiste {
namespace {

using fuzz::Broken;
using fuzz::Escaped;
using testing::CellArea;
using testing::VirtualTerminal;

constexpr int kMaxColumns = 300;
constexpr int kMaxRows = 100;

// The screen as the console's rules make it: a character goes into the cell
// under the cursor in the current colours and the cursor moves right; the
// wrap comes as soon as the last column is written; past the bottom row the
// screen scrolls up, the new row blank in the current colours. On a resize
// the screen is what it would be had everything since the last clear been
// drawn at the new size from the start.
class ScreenModel {
 public:
  struct Cell {
    char32_t glyph = U' ';
    Attribute attribute = 0;
  };

  explicit ScreenModel(WindowSize size) : size_(size) { Blank(0); }

  void Clear(Attribute attribute) {
    since_clear_.clear();
    Record({Statement::Kind::kClear, attribute, {}});
  }
  void Text(std::string_view text, Attribute attribute) {
    Record({Statement::Kind::kText, attribute, std::string(text)});
  }
  void StepBack() { Record({Statement::Kind::kStepBack, 0, {}}); }

  void Resize(WindowSize size) {
    size_ = size;
    Blank(0);
    for (const Statement& statement : since_clear_) Apply(statement);
    ChangedAll();
  }

  [[nodiscard]] const Cell& At(int column, int row) const {
    return cells_.at(static_cast<std::size_t>((row - 1) * size_.columns + column - 1));
  }
  [[nodiscard]] Position Cursor() const { return cursor_; }
  [[nodiscard]] WindowSize Size() const { return size_; }

  std::optional<CellArea> TakeChangedArea() {
    std::optional<CellArea> changed;
    changed.swap(changed_);
    return changed;
  }

 private:
  struct Statement {
    enum class Kind : std::uint8_t { kClear, kText, kStepBack };
    Kind kind;
    Attribute attribute;
    std::string text;
  };

  void Record(Statement statement) {
    Apply(statement);
    since_clear_.push_back(std::move(statement));
  }

  void Apply(const Statement& statement) {
    switch (statement.kind) {
      case Statement::Kind::kClear:
        Blank(statement.attribute);
        cursor_ = Position{1, 1};
        ChangedAll();
        break;
      case Statement::Kind::kText:
        for (const char byte : statement.text)
          Put(static_cast<std::uint8_t>(byte), statement.attribute);
        break;
      case Statement::Kind::kStepBack:
        if (cursor_.column > 1) {
          --cursor_.column;
        } else if (cursor_.row > 1) {
          cursor_ = Position{size_.columns, cursor_.row - 1};
        }
        break;
    }
  }

  void Put(std::uint8_t code, Attribute attribute) {
    switch (code) {
      case control::kBell:
        break;
      case control::kBackspace:
        if (cursor_.column > 1) --cursor_.column;
        break;
      case control::kCarriageReturn:
        cursor_.column = 1;
        break;
      case control::kLineFeed:
        ++cursor_.row;
        break;
      default:
        MutableAt(cursor_.column, cursor_.row) = Cell{Cp850Glyph(code), attribute};
        Changed(cursor_.column, cursor_.row);
        if (++cursor_.column > size_.columns) {
          cursor_.column = 1;
          ++cursor_.row;
        }
        break;
    }
    while (cursor_.row > size_.rows) {
      ScrollUp(attribute);
      --cursor_.row;
    }
  }

  void ScrollUp(Attribute attribute) {
    const auto width = static_cast<std::ptrdiff_t>(size_.columns);
    std::move(cells_.begin() + width, cells_.end(), cells_.begin());
    std::fill(cells_.end() - width, cells_.end(), Cell{U' ', attribute});
    ChangedAll();
  }

  void Blank(Attribute attribute) {
    cells_.assign(static_cast<std::size_t>(size_.columns) * static_cast<std::size_t>(size_.rows),
                  Cell{U' ', attribute});
  }

  Cell& MutableAt(int column, int row) {
    return cells_.at(static_cast<std::size_t>((row - 1) * size_.columns + column - 1));
  }

  void Changed(int column, int row) {
    if (!changed_) {
      changed_ = CellArea{column, row, column, row};
      return;
    }
    changed_->first_column = std::min(changed_->first_column, column);
    changed_->first_row = std::min(changed_->first_row, row);
    changed_->last_column = std::max(changed_->last_column, column);
    changed_->last_row = std::max(changed_->last_row, row);
  }
  void ChangedAll() { changed_ = CellArea{1, 1, size_.columns, size_.rows}; }

  WindowSize size_;
  std::vector<Cell> cells_;
  Position cursor_;
  std::vector<Statement> since_clear_;
  std::optional<CellArea> changed_;
};

// What the line editor is told to do, from the keys alone: the answer and
// the position in it, and the statements its echo sends to the screen.
class LineModel {
 public:
  // True at Enter.
  bool Press(Key key, ScreenModel& screen, Attribute attribute) {
    screen_ = &screen;
    attribute_ = attribute;
    switch (key.kind) {
      case Key::Kind::kHome:
        while (position_ > 0) Left();
        return false;
      case Key::Kind::kLeft:
        if (position_ > 0) Left();
        return false;
      case Key::Kind::kRight:
        if (position_ < line_.size()) Write(line_.substr(position_++, 1));
        return false;
      case Key::Kind::kEnd:
        End();
        return false;
      case Key::Kind::kCharacter:
        break;
    }
    return PressCharacter(key.code);
  }

  std::string TakeLine() {
    position_ = 0;
    return std::exchange(line_, {});
  }

 private:
  bool PressCharacter(std::uint8_t code) {
    switch (code) {
      case control::kCarriageReturn:
      case control::kLineFeed:
        Write("\r\n");
        position_ = 0;
        return true;
      case control::kBackspace:
      case control::kCtrlS:
        EraseLast();
        break;
      case control::kEscape:
      case control::kCtrlY:
        End();
        while (!line_.empty()) EraseLast();
        break;
      case control::kCtrlZ:
      case control::kBell:
        break;
      default:
        if (position_ >= kMaxLineLength) break;  // the answer is full: refused
        if (position_ == line_.size()) line_.push_back(' ');
        line_[position_++] = static_cast<char>(code);
        Write(std::string(1, static_cast<char>(code)));
        break;
    }
    return false;
  }

  void Left() {
    screen_->StepBack();
    --position_;
  }
  void End() {
    Write(line_.substr(position_));
    position_ = line_.size();
  }
  // Erasing works at the end of the answer only.
  void EraseLast() {
    if (line_.empty() || position_ != line_.size()) return;
    screen_->StepBack();
    Write(" ");
    screen_->StepBack();
    line_.pop_back();
    --position_;
  }
  void Write(std::string_view text) { screen_->Text(text, attribute_); }

  std::string line_;
  std::size_t position_ = 0;
  ScreenModel* screen_ = nullptr;
  Attribute attribute_ = 0;
};

// The colours as the terminal emulator reports them, in the PC order: bits
// 0-3 of the attribute the foreground, bits 4-6 the background, bit 7 a
// bright background.
int ForegroundOf(Attribute attribute) {
  return attribute & 0x0F;
}
int BackgroundOf(Attribute attribute) {
  return ((attribute >> 4) & 0x07) | ((attribute & 0x80) != 0 ? 8 : 0);
}

std::string Utf8(char32_t code_point) {
  std::string text;
  AppendUtf8(text, code_point);
  return text;
}

// The bytes sent to the terminal hold control bytes only as ESC starting a
// CSI sequence, CR, LF and BS; everything else is UTF-8 text without C1
// codes. What is wrong, if anything.
std::optional<std::string> WrongTerminalByte(std::string_view bytes) {
  const auto wrong = [&](std::size_t at, std::string_view what) {
    return std::string(what) + " at byte " + std::to_string(at) + " of " + Escaped(bytes);
  };
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const auto byte = static_cast<std::uint8_t>(bytes[at]);
    if (byte == control::kEscape) {
      std::size_t end = at + 1;
      if (end >= bytes.size() || bytes[end] != '[') return wrong(at, "ESC not starting CSI");
      for (++end; end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x40;) ++end;
      if (end >= bytes.size() || bytes[end] < 0x40 || bytes[end] > 0x7E)
        return wrong(at, "a CSI sequence without its final byte");
      at = end;
    } else if (byte == control::kDelete) {
      return wrong(at, "DEL");
    } else if (byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\b') {
      return wrong(at, "a raw control byte");
    } else if (byte >= 0x80) {
      int continuation = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC2 ? 1 : -1;
      if (continuation < 0 || byte > 0xF4) return wrong(at, "a byte that starts no character");
      char32_t code_point = byte & (0x3F >> continuation);
      for (; continuation > 0; --continuation) {
        if (++at >= bytes.size() || (static_cast<std::uint8_t>(bytes[at]) & 0xC0) != 0x80)
          return wrong(at, "a cut UTF-8 character");
        code_point = (code_point << 6) | (static_cast<std::uint8_t>(bytes[at]) & 0x3F);
      }
      if (code_point >= 0x80 && code_point < 0xA0) return wrong(at, "a C1 control character");
    }
  }
  return std::nullopt;
}

// The smallest area holding both.
CellArea Union(const CellArea& a, const CellArea& b) {
  return CellArea{std::min(a.first_column, b.first_column), std::min(a.first_row, b.first_row),
                  std::max(a.last_column, b.last_column), std::max(a.last_row, b.last_row)};
}

WindowSize SizeFrom(std::uint8_t low, std::uint8_t high, std::uint8_t rows) {
  return WindowSize{1 + (low | (high << 8)) % kMaxColumns, 1 + rows % kMaxRows};
}

class Session {
 public:
  Session(WindowSize size, ClearMethod clear_method, Attribute attribute)
      : writer_(size, attribute, clear_method),
        editor_(writer_),
        terminal_(size.rows, size.columns),
        screen_(size),
        attribute_(attribute) {
    Note("window " + std::to_string(size.columns) + "x" + std::to_string(size.rows) +
         (clear_method == ClearMethod::kPaintCells ? ", cleared by painting" : ", erased") +
         ", colours " + std::to_string(attribute));
    // The program starts every screen by clearing it.
    Clear();
  }

  void Press(Key key) {
    Note(key.kind == Key::Kind::kCharacter
             ? "key " + std::to_string(key.code)
             : std::string("key ") + "HLRE"[static_cast<int>(key.kind) - 1]);
    const bool finished = editor_.Press(key);
    const bool expected = line_.Press(key, screen_, attribute_);
    if (finished != expected) Broken("Enter, and only Enter, ends the line", Log());
    if (finished) TakeLine();
    Show();
  }

  void TakeLine() {
    const std::string line = editor_.TakeLine();
    const std::string expected = line_.TakeLine();
    if (line.size() > kMaxLineLength) {
      Broken("an answer holds at most 254 characters",
             Log() + "\nthe line has " + std::to_string(line.size()));
    }
    if (line != expected) {
      Broken("the line handed over is the one typed",
             Log() + "\ngot " + Escaped(line) + "\nexpected " + Escaped(expected));
    }
  }

  void Resize(WindowSize size) {
    Note("resize to " + std::to_string(size.columns) + "x" + std::to_string(size.rows));
    terminal_.Resize(size.rows, size.columns);
    writer_.Resize(size);
    screen_.Resize(size);
    Show(true);
  }

  void SetForeground(std::uint8_t color) {
    Note("foreground " + std::to_string(color));
    writer_.SetForeground(color);
    attribute_ = WithForeground(attribute_, color);
  }
  void SetBackground(std::uint8_t color) {
    Note("background " + std::to_string(color));
    writer_.SetBackground(color);
    attribute_ = WithBackground(attribute_, color);
  }

  void Write(std::string_view text) {
    Note("write " + Escaped(text));
    writer_.WriteText(text);
    screen_.Text(text, attribute_);
    Show();
  }

  void Clear() {
    Note("clear");
    writer_.ClearScreen();
    screen_.Clear(attribute_);
    Show(true);
  }

  void StepBack() {
    Note("step back");
    writer_.StepBack();
    writer_.PlaceCursor();
    screen_.StepBack();
    Show();
  }

  void SetCursorVisible(bool visible) {
    Note(visible ? "show cursor" : "hide cursor");
    if (visible) {
      writer_.ShowCursor();
    } else {
      writer_.HideCursor();
    }
    Show();
    if (terminal_.CursorVisible() != visible)
      Broken("the cursor is shown or hidden as told", Log());
  }

 private:
  // The last steps, for the message of a broken invariant.
  void Note(std::string step) {
    steps_.push_back(std::move(step));
    if (steps_.size() > 40) steps_.erase(steps_.begin());
  }
  [[nodiscard]] std::string Log() const {
    std::string log = "last steps:";
    for (const std::string& step : steps_) log += "\n  " + step;
    return log + "\nterminal:\n" + terminal_.Dump();
  }

  // The writer's bytes to the terminal, then the terminal against the model.
  void Show(bool everything = false) {
    const std::string bytes = writer_.TakeOutput();
    if (const auto wrong = WrongTerminalByte(bytes)) {
      Broken("only ESC sequences, CR, LF and BS reach the terminal as control bytes",
             Log() + "\n" + *wrong);
    }
    terminal_.Feed(bytes);
    CheckCursor();
    std::optional<CellArea> area = screen_.TakeChangedArea();
    const std::optional<CellArea> drawn = terminal_.TakeDrawnArea();
    if (everything) area = CellArea{1, 1, screen_.Size().columns, screen_.Size().rows};
    if (area && drawn) area = Union(*area, *drawn);
    if (!area) area = drawn;
    // A cell neither the model nor the terminal changed is as it was.
    if (area) CheckCells(*area);
  }

  void CheckCursor() {
    const WindowSize size = screen_.Size();
    const Position cursor = writer_.Cursor();
    if (writer_.Size() != size) Broken("the writer knows the window's size", Log());
    if (cursor.column < 1 || cursor.column > size.columns || cursor.row < 1 ||
        cursor.row > size.rows) {
      Broken(
          "the writer's cursor stays inside the window",
          Log() + "\ncursor " + std::to_string(cursor.column) + "," + std::to_string(cursor.row));
    }
    const Position expected = screen_.Cursor();
    const Position shown{terminal_.CursorColumn(), terminal_.CursorRow()};
    if (cursor != expected || shown != expected) {
      Broken("the cursor is where the console's rules put it",
             Log() + "\nexpected " + std::to_string(expected.column) + "," +
                 std::to_string(expected.row) + "; the writer has " +
                 std::to_string(cursor.column) + "," + std::to_string(cursor.row) +
                 "; the terminal has " + std::to_string(shown.column) + "," +
                 std::to_string(shown.row));
    }
  }

  void CheckCells(const CellArea& area) {
    const WindowSize size = screen_.Size();
    for (int row = std::max(area.first_row, 1); row <= std::min(area.last_row, size.rows); ++row) {
      for (int column = std::max(area.first_column, 1);
           column <= std::min(area.last_column, size.columns); ++column) {
        CheckCell(column, row);
      }
    }
  }

  void CheckCell(int column, int row) {
    const ScreenModel::Cell& expected = screen_.At(column, row);
    const testing::CellLook shown = terminal_.Cell(column, row);
    if (shown.text == std::u32string(1, expected.glyph) &&
        shown.foreground == ForegroundOf(expected.attribute) &&
        shown.background == BackgroundOf(expected.attribute)) {
      return;
    }
    std::string text;
    for (const char32_t c : shown.text) AppendUtf8(text, c);
    Broken("the terminal shows the cells the console drew",
           Log() + "\ncell " + std::to_string(column) + "," + std::to_string(row) + ": shows \"" +
               text + "\" colours " + std::to_string(shown.foreground) + "/" +
               std::to_string(shown.background) + ", expected \"" + Utf8(expected.glyph) +
               "\" colours " + std::to_string(ForegroundOf(expected.attribute)) + "/" +
               std::to_string(BackgroundOf(expected.attribute)));
  }

  CharacterWriter writer_;
  LineEditor editor_;
  VirtualTerminal terminal_;
  ScreenModel screen_;
  LineModel line_;
  Attribute attribute_;
  std::vector<std::string> steps_;
};

Key Character(std::uint8_t code) {
  return Key{Key::Kind::kCharacter, code};
}

void RunOperation(Session& session, fuzz::InputReader& input) {
  const std::uint8_t operation = input.Byte();
  switch (operation) {
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83:
      session.Press(Key{static_cast<Key::Kind>(1 + (operation & 3)), 0});
      break;
    case 0x84:
      session.Press(Character(input.Byte()));
      break;
    case 0x85: {
      const Key key = Character(input.Byte());
      for (int times = 1 + input.Byte(); times > 0; --times) session.Press(key);
      break;
    }
    case 0x86: {
      const std::uint8_t low = input.Byte();
      const std::uint8_t high = input.Byte();
      session.Resize(SizeFrom(low, high, input.Byte()));
      break;
    }
    case 0x87:
      session.SetForeground(input.Byte());
      break;
    case 0x88:
      session.SetBackground(input.Byte());
      break;
    case 0x89:
      session.Write(input.Bytes(input.Byte() % 32));
      break;
    case 0x8A:
      session.Clear();
      break;
    case 0x8B:
      session.StepBack();
      break;
    case 0x8C:
    case 0x8D:
      session.SetCursorVisible(operation == 0x8C);
      break;
    default:
      session.Press(Character(operation));
      break;
  }
}

}  // namespace
}  // namespace pagiste

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagiste;
  fuzz::InputReader input(data, size);
  const std::uint8_t low = input.Byte();
  const std::uint8_t high = input.Byte();
  const WindowSize window = SizeFrom(low, high, input.Byte());
  const ClearMethod clear_method =
      (input.Byte() & 1) != 0 ? ClearMethod::kPaintCells : ClearMethod::kErase;
  Session session(window, clear_method, input.Byte());
  while (!input.AtEnd()) RunOperation(session, input);
  session.Press(Character(control::kCarriageReturn));
  return 0;
}
