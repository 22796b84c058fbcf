// The console: the colour text screen the questionnaire draws on and the
// keyboard it reads answers from. What is drawn gathers and reaches the
// terminal in one write each time the program is about to wait for a key or
// to end; waiting for a key blocks without using the processor. A change of
// the window's size wakes the wait and draws the screen again at the new size.
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

// How reading a line ended.
struct LineRead {
  enum class End : std::uint8_t {
    kEnter,       // the line is complete
    kInputEnded,  // input ended before Enter
    kQuitKey,     // Ctrl+\ on the keyboard: the user leaves
  };
  End end = End::kEnter;
  std::string text;
};

class Console {
 public:
  explicit Console(const ConsoleHandles& handles);
  ~Console();  // hands the terminal back
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  Console(Console&&) = delete;
  Console& operator=(Console&&) = delete;

  void SetBackground(std::uint8_t color) { writer_.SetBackground(color); }
  void SetForeground(std::uint8_t color) { writer_.SetForeground(color); }
  void ClearScreen() { writer_.ClearScreen(); }
  void ShowCursor() { writer_.ShowCursor(); }
  void HideCursor() { writer_.HideCursor(); }

  void WriteText(std::string_view text) { writer_.WriteText(text); }
  void WriteLineEnd() { writer_.WriteText("\r\n"); }
  // One edited answer.
  [[nodiscard]] LineRead ReadLine();

  // Hands the terminal back as it was found, on a fresh line; safe to repeat.
  void Restore();

 private:
  // The next key, or nothing once input has ended.
  std::optional<Key> NextKey();
  void Flush();

  TerminalDevice device_;
  CharacterWriter writer_;
  KeyDecoder decoder_;
  LineEditor editor_;
  bool keyboard_;      // keys come from a terminal, not a pipe
  std::string input_;  // the bytes of the last read, kept to spare an allocation per key
  bool restored_ = false;
};

}  // namespace pagiste
