#include "console/line_editor.hpp"

#include <string_view>

#include "base/control_codes.hpp"

namespace pagiste {

bool LineEditor::Press(Key key) {
  switch (key.kind) {
    case Key::Kind::kHome:
      MoveHome();
      return false;
    case Key::Kind::kLeft:
      MoveLeft();
      return false;
    case Key::Kind::kRight:
      MoveRight();
      return false;
    case Key::Kind::kEnd:
      MoveEnd();
      return false;
    case Key::Kind::kCharacter:
      break;
  }
  if (key.code == control::kCarriageReturn || key.code == control::kLineFeed) {
    EndLine();
    return true;
  }
  PressCharacter(key.code);
  return false;
}

void LineEditor::PressCharacter(std::uint8_t code) {
  switch (code) {
    case control::kBackspace:
    case control::kCtrlS:
      EraseLast();
      break;
    case control::kEscape:
    case control::kCtrlY:
      EraseAll();
      break;
    case control::kCtrlZ:
    case control::kBell:  // its echo would write nothing and part the line from the screen
      break;
    default:
      Type(code);
      break;
  }
}

void LineEditor::EndLine() {
  writer_.WriteText("\r\n");
  position_ = 0;
}

std::string LineEditor::TakeLine() {
  std::string taken;
  taken.swap(line_);
  position_ = 0;
  return taken;
}

void LineEditor::EraseLast() {
  if (line_.empty() || position_ != line_.size()) return;
  writer_.StepBack();
  writer_.WriteText(" ");
  writer_.StepBack();
  writer_.PlaceCursor();
  line_.pop_back();
  --position_;
}

void LineEditor::EraseAll() {
  MoveEnd();
  while (!line_.empty()) EraseLast();
}

void LineEditor::MoveHome() {
  while (position_ > 0) MoveLeft();
}

void LineEditor::MoveLeft() {
  if (position_ == 0) return;
  writer_.StepBack();
  writer_.PlaceCursor();
  --position_;
}

void LineEditor::MoveRight() {
  if (position_ == line_.size()) return;
  writer_.WriteText(std::string_view(line_).substr(position_, 1));
  ++position_;
}

void LineEditor::MoveEnd() {
  writer_.WriteText(std::string_view(line_).substr(position_));
  position_ = line_.size();
}

void LineEditor::Type(std::uint8_t code) {
  if (position_ >= kMaxLineLength) return;
  const char character = static_cast<char>(code);
  if (position_ == line_.size()) {
    line_.push_back(character);
  } else {
    line_[position_] = character;
  }
  ++position_;
  writer_.WriteText(std::string_view(&character, 1));
}

}  // namespace pagiste
