// The character writer: the console's own model of the screen (cursor, wrap at
// the right edge, scroll at the bottom, current colours) and the terminal bytes
// that make a real terminal show the same. It performs no I/O: the bytes
// gather in a buffer that the caller sends in one piece per statement.
//
// Sequences it emits (ECMA-48 / xterm):
//   ESC [ r ; c H   cursor position          ESC [ 2 J   erase the screen
//   ESC [ ... m     colours (SGR)            ESC [ ? 25 h / l   cursor shown / hidden
//   ESC [ ? 7 l / h autowrap off / on        CR, LF, BS  short cursor moves
// LF on the bottom row is the one way it scrolls the terminal. A terminal
// that does not erase in the current background colour is cleared by
// writing a space into every cell instead of ESC [ 2 J.
//
// It keeps what was drawn since the last clear, so that after the window
// changes size the screen is drawn again exactly as if it had been drawn at
// that size from the start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/attribute.hpp"
#include "console/window.hpp"

namespace pagiste {

// How the terminal is made blank in the current colours.
enum class ClearMethod : std::uint8_t {
  kErase,       // ESC [ 2 J: the terminal erases in the current background
  kPaintCells,  // a space in every cell, for terminals that erase in their default colours
};

class CharacterWriter {
 public:
  CharacterWriter(WindowSize size, Attribute attribute,
                  ClearMethod clear_method = ClearMethod::kErase);

  void SetBackground(std::uint8_t color) { attribute_ = WithBackground(attribute_, color); }
  void SetForeground(std::uint8_t color) { attribute_ = WithForeground(attribute_, color); }
  void ClearScreen();
  void ShowCursor();
  void HideCursor();

  // Each byte through the character table, then the visible cursor onto the cursor.
  void WriteText(std::string_view text);

  // The line editor's step back over the character before the cursor: unlike
  // the backspace control it climbs onto the row above after a wrap.
  void StepBack();
  // The terminal's cursor onto this writer's cursor.
  void PlaceCursor() { PlaceTerminalCursor(cursor_); }

  // The window has a new size: what was drawn since the last clear is drawn
  // again at that size, wrapping and scrolling as it would have from the start.
  void Resize(WindowSize size);

  // The bytes produced since the last call.
  std::string TakeOutput();
  [[nodiscard]] bool HasOutput() const { return !output_.empty(); }

  [[nodiscard]] Position Cursor() const { return cursor_; }
  [[nodiscard]] WindowSize Size() const { return size_; }

 private:
  // One statement since the last clear, as Resize replays it.
  struct Drawn {
    enum class Kind : std::uint8_t { kClear, kText, kStepBack, kShowCursor, kHideCursor };
    Kind kind;
    Attribute attribute;
    std::string text;  // for kText
  };

  void Record(Drawn::Kind kind, std::string_view text = {});
  void Replay(const Drawn& drawn);
  void PaintEveryCell();
  void Put(std::uint8_t code);
  void AdvanceAfterCharacter();
  void ScrollUp();
  void PlaceTerminalCursor(Position target);
  void SendAttribute();
  void SetCursorVisible(bool visible);
  void TakeOverTerminal();

  WindowSize size_;
  Attribute attribute_;
  ClearMethod clear_method_;
  std::vector<Drawn> since_clear_;
  Position cursor_;
  std::string output_;
  // What the terminal is known to have; empty while unknown.
  std::optional<Position> terminal_cursor_;
  std::optional<Attribute> terminal_attribute_;
  std::optional<bool> terminal_cursor_visible_;
  bool autowrap_off_sent_ = false;
};

}  // namespace pagiste
