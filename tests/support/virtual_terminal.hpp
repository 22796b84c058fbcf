// A real terminal emulator (libvterm) that tests feed with the program's
// output and then read cell by cell, as a user would see the screen.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct VTerm;
struct VTermScreen;

namespace pagiste::testing {

struct CellLook {
  std::u32string text;
  int foreground;  // PC colour index 0-15, or -1 for the terminal's default
  int background;

  bool operator==(const CellLook&) const = default;
};

// One letter for a cell's colours: W white on blue, Y yellow on blue, R white
// on red, . the terminal's default colours, ? anything else.
char ColourLetter(const CellLook& look);
// A row of cells as text (UTF-8, trailing blanks removed) and as colour
// letters.
std::string TextOf(std::span<const CellLook> row);
std::string ColoursOf(std::span<const CellLook> row);
// A terminal colour number (0-15) in the PC order; -2 past 15.
int PcColourFromTerminal(int index);

// Keys whose bytes depend on the terminal's modes.
enum class NamedKey { kEscape, kHome, kEnd, kLeft, kRight, kEnter };
// The key's name as tmux and xterm.js know it: Escape, Home, End, Left,
// Right, Enter.
const char* KeyName(NamedKey key);

// A rectangle of cells, counted from 1 like the program's positions.
struct CellArea {
  int first_column;
  int first_row;
  int last_column;
  int last_row;
};

// What the emulator reports as it goes.
struct TerminalReports {
  bool cursor_visible = true;
  std::optional<CellArea> drawn;
};

class VirtualTerminal {
 public:
  VirtualTerminal(int rows, int columns);
  ~VirtualTerminal();
  VirtualTerminal(const VirtualTerminal&) = delete;
  VirtualTerminal& operator=(const VirtualTerminal&) = delete;
  VirtualTerminal(VirtualTerminal&&) = delete;
  VirtualTerminal& operator=(VirtualTerminal&&) = delete;

  void Feed(std::string_view bytes);
  // The window changes size; what is shown stays where it was.
  void Resize(int rows, int columns);
  // The bytes this terminal sends for the key in its present modes (cursor
  // keys in application mode after a program asked for it).
  [[nodiscard]] std::string KeyBytes(NamedKey key);
  // What the terminal has to send back to the program: answers to its
  // queries, and keys.
  [[nodiscard]] std::string TakeReplies();

  [[nodiscard]] int Rows() const { return rows_; }
  [[nodiscard]] int Columns() const { return columns_; }
  // The row's text as UTF-8, trailing blanks removed; rows counted from 1.
  [[nodiscard]] std::string Row(int row) const;
  // One letter per cell for its colours (see ColourLetter).
  [[nodiscard]] std::string Colours(int row) const;
  [[nodiscard]] CellLook Cell(int column, int row) const;
  [[nodiscard]] std::vector<CellLook> RowCells(int row) const;
  // 1-based, like the program's own cursor.
  [[nodiscard]] int CursorColumn() const;
  [[nodiscard]] int CursorRow() const;
  [[nodiscard]] bool CursorVisible() const { return seen_.cursor_visible; }
  // Every cell the terminal drew or moved since the last call, within one
  // rectangle; nothing when it drew none.
  std::optional<CellArea> TakeDrawnArea();
  // The whole screen as text rows, for failure messages.
  [[nodiscard]] std::string Dump() const;

 private:
  int rows_;
  int columns_;
  VTerm* vterm_;
  VTermScreen* screen_;
  TerminalReports seen_;
};

}  // namespace pagiste::testing
