// The console: the colour text screen the questionnaire draws on and the
// keyboard it reads answers from. Every statement reaches the terminal as one
// write; waiting for a key blocks without using the processor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "console/character_writer.hpp"
#include "console/key_decoder.hpp"
#include "console/line_editor.hpp"
#include "console/terminal.hpp"

namespace pagiste {

class Console {
 public:
  explicit Console(const ConsoleHandles& handles);

  void SetBackground(std::uint8_t color) { writer_.SetBackground(color); }
  void SetForeground(std::uint8_t color) { writer_.SetForeground(color); }
  void ClearScreen() { writer_.ClearScreen(); }
  void ShowCursor() { writer_.ShowCursor(); }
  void HideCursor() { writer_.HideCursor(); }

  void WriteText(std::string_view text);
  void WriteLineEnd();
  // One edited answer, or nothing when input ends before Enter.
  [[nodiscard]] std::optional<std::string> ReadLine();

  // Hands the terminal back as it was found (done anyway at destruction).
  void Restore();

 private:
  void Flush();
  std::optional<Key> NextKey();

  TerminalDevice device_;
  CharacterWriter writer_;
  KeyDecoder decoder_;
  LineEditor editor_;
  std::string input_;  // the bytes of the last read, kept to spare an allocation per key
};

}  // namespace pagiste
