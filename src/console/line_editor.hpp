// The line editor: one answer typed, echoed and edited through the character
// writer. Pure: keys in, screen bytes out through the writer.
#pragma once

#include <cstddef>
#include <string>

#include "console/character_writer.hpp"
#include "console/key_decoder.hpp"

namespace pagiste {

inline constexpr std::size_t kMaxLineLength = 254;

class LineEditor {
 public:
  explicit LineEditor(CharacterWriter& writer) : writer_(writer) {}

  // Acts on one key; true once the line is finished (Enter), and then the
  // editor is ready for the next line.
  bool Press(Key key);
  // The finished line.
  std::string TakeLine();

 private:
  void PressCharacter(std::uint8_t code);
  void EndLine();
  void EraseLast();
  void EraseAll();
  void MoveHome();
  void MoveLeft();
  void MoveRight();
  void MoveEnd();
  void Type(std::uint8_t code);

  CharacterWriter& writer_;
  std::string line_;
  std::size_t position_ = 0;
};

}  // namespace pagiste
