#include "console/character_writer.hpp"

#include <array>
#include <charconv>

#include "base/control_codes.hpp"
#include "base/cp850.hpp"

namespace pagiste {
namespace {

void AppendNumber(std::string& out, int value) {
  std::array<char, 12> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  out.append(digits.data(), result.ptr);
}

}  // namespace

CharacterWriter::CharacterWriter(WindowSize size, Attribute attribute, ClearMethod clear_method)
    : size_(size), attribute_(attribute), clear_method_(clear_method) {}

void CharacterWriter::Record(Drawn::Kind kind, std::string_view text) {
  if (kind == Drawn::Kind::kText && !since_clear_.empty() &&
      since_clear_.back().kind == Drawn::Kind::kText &&
      since_clear_.back().attribute == attribute_) {
    since_clear_.back().text += text;
    return;
  }
  since_clear_.push_back(Drawn{kind, attribute_, std::string(text)});
}

void CharacterWriter::Resize(WindowSize size) {
  size_ = size;
  // The terminal may have moved its cursor; its colours and modes stay.
  terminal_cursor_.reset();
  if (since_clear_.empty()) return;
  const std::vector<Drawn> drawn = std::move(since_clear_);
  since_clear_.clear();
  const Attribute current = attribute_;
  for (const Drawn& statement : drawn) Replay(statement);
  attribute_ = current;
  PlaceTerminalCursor(cursor_);
}

void CharacterWriter::Replay(const Drawn& drawn) {
  attribute_ = drawn.attribute;
  switch (drawn.kind) {
    case Drawn::Kind::kClear:
      ClearScreen();
      break;
    case Drawn::Kind::kText:
      WriteText(drawn.text);
      break;
    case Drawn::Kind::kStepBack:
      StepBack();
      break;
    case Drawn::Kind::kShowCursor:
      ShowCursor();
      break;
    case Drawn::Kind::kHideCursor:
      HideCursor();
      break;
  }
}

void CharacterWriter::ShowCursor() {
  Record(Drawn::Kind::kShowCursor);
  SetCursorVisible(true);
}

void CharacterWriter::HideCursor() {
  Record(Drawn::Kind::kHideCursor);
  SetCursorVisible(false);
}

void CharacterWriter::TakeOverTerminal() {
  // The terminal must never wrap by itself: this program decides where every
  // character goes.
  if (autowrap_off_sent_) return;
  output_ += "\x1b[?7l";
  autowrap_off_sent_ = true;
}

void CharacterWriter::ClearScreen() {
  since_clear_.clear();
  Record(Drawn::Kind::kClear);
  TakeOverTerminal();
  SendAttribute();
  if (clear_method_ == ClearMethod::kErase) {
    output_ += "\x1b[2J";
  } else {
    PaintEveryCell();
  }
  cursor_ = {};
  PlaceTerminalCursor(cursor_);
}

void CharacterWriter::PaintEveryCell() {
  for (int row = 1; row <= size_.rows; ++row) {
    PlaceTerminalCursor(Position{1, row});
    output_.append(static_cast<std::size_t>(size_.columns), ' ');
    // With autowrap off the terminal's cursor stops in the last column.
    terminal_cursor_ = Position{size_.columns, row};
  }
}

void CharacterWriter::SetCursorVisible(bool visible) {
  if (terminal_cursor_visible_ == visible) return;
  output_ += visible ? "\x1b[?25h" : "\x1b[?25l";
  terminal_cursor_visible_ = visible;
}

void CharacterWriter::WriteText(std::string_view text) {
  Record(Drawn::Kind::kText, text);
  for (const char byte : text) Put(static_cast<std::uint8_t>(byte));
  PlaceTerminalCursor(cursor_);
}

void CharacterWriter::Put(std::uint8_t code) {
  switch (code) {
    case control::kBell:
      break;
    case control::kBackspace:
      if (cursor_.column > 1) --cursor_.column;
      break;
    case control::kLineFeed:
      ++cursor_.row;
      break;
    case control::kCarriageReturn:
      cursor_.column = 1;
      break;
    default:
      TakeOverTerminal();
      PlaceTerminalCursor(cursor_);
      SendAttribute();
      AppendUtf8(output_, Cp850Glyph(code));
      // With autowrap off the terminal's cursor stops in the last column.
      terminal_cursor_ = Position{std::min(cursor_.column + 1, size_.columns), cursor_.row};
      ++cursor_.column;
      break;
  }
  AdvanceAfterCharacter();
}

void CharacterWriter::AdvanceAfterCharacter() {
  if (cursor_.column > size_.columns) {
    cursor_.column = 1;
    ++cursor_.row;
  }
  while (cursor_.row > size_.rows) {
    ScrollUp();
    --cursor_.row;
  }
}

void CharacterWriter::ScrollUp() {
  TakeOverTerminal();
  const Position bottom_left{1, size_.rows};
  if (!terminal_cursor_ || terminal_cursor_->row != size_.rows) PlaceTerminalCursor(bottom_left);
  output_ += '\n';
  // Terminals differ in the colour they give a scrolled-in row; paint it.
  output_ += '\r';
  terminal_cursor_ = bottom_left;
  SendAttribute();
  output_.append(static_cast<std::size_t>(size_.columns), ' ');
  terminal_cursor_ = Position{size_.columns, size_.rows};
}

void CharacterWriter::StepBack() {
  Record(Drawn::Kind::kStepBack);
  if (cursor_.column > 1) {
    --cursor_.column;
  } else if (cursor_.row > 1) {
    cursor_ = Position{size_.columns, cursor_.row - 1};
  }
}

void CharacterWriter::PlaceTerminalCursor(Position target) {
  if (terminal_cursor_ == target) return;
  if (terminal_cursor_ && terminal_cursor_->row == target.row &&
      terminal_cursor_->column == target.column + 1) {
    output_ += '\b';
  } else if (terminal_cursor_ && target.column == 1 && terminal_cursor_->row == target.row) {
    output_ += '\r';
  } else if (terminal_cursor_ && target.column == 1 && terminal_cursor_->row + 1 == target.row) {
    output_ += "\r\n";
  } else {
    output_ += "\x1b[";
    if (target.row != 1 || target.column != 1) AppendNumber(output_, target.row);
    if (target.column != 1) {
      output_ += ';';
      AppendNumber(output_, target.column);
    }
    output_ += 'H';
  }
  terminal_cursor_ = target;
}

void CharacterWriter::SendAttribute() {
  if (terminal_attribute_ == attribute_) return;
  output_ += "\x1b[";
  if (!terminal_attribute_) {
    // Whatever the terminal had before (bold, underline...) goes first.
    output_ += "0;";
    AppendNumber(output_, SgrForeground(attribute_));
    output_ += ';';
    AppendNumber(output_, SgrBackground(attribute_));
  } else {
    const bool foreground_changed =
        SgrForeground(*terminal_attribute_) != SgrForeground(attribute_);
    const bool background_changed =
        SgrBackground(*terminal_attribute_) != SgrBackground(attribute_);
    if (foreground_changed) AppendNumber(output_, SgrForeground(attribute_));
    if (foreground_changed && background_changed) output_ += ';';
    if (background_changed) AppendNumber(output_, SgrBackground(attribute_));
  }
  output_ += 'm';
  terminal_attribute_ = attribute_;
}

std::string CharacterWriter::TakeOutput() {
  std::string taken;
  taken.swap(output_);
  return taken;
}

}  // namespace pagiste
