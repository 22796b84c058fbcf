#include "support/virtual_terminal.hpp"

#include <vterm.h>

#include <algorithm>

#include "base/cp850.hpp"

namespace pagiste::testing {
namespace {

// Terminal colour numbers trade red and blue with the PC order.
int PcColour(const VTermColor& colour, bool foreground) {
  if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&colour) : VTERM_COLOR_IS_DEFAULT_BG(&colour)) {
    return -1;
  }
  if (!VTERM_COLOR_IS_INDEXED(&colour)) return -2;
  return PcColourFromTerminal(colour.indexed.idx);
}

int SetTermProp(VTermProp prop, VTermValue* value, void* seen) {
  if (prop == VTERM_PROP_CURSORVISIBLE) {
    static_cast<TerminalReports*>(seen)->cursor_visible = value->boolean != 0;
  }
  return 1;
}

// Without a moverect callback a scroll is reported as drawn cells too.
int Damage(VTermRect rect, void* seen) {
  auto& drawn = static_cast<TerminalReports*>(seen)->drawn;
  const CellArea area{rect.start_col + 1, rect.start_row + 1, rect.end_col, rect.end_row};
  if (!drawn) {
    drawn = area;
    return 1;
  }
  drawn->first_column = std::min(drawn->first_column, area.first_column);
  drawn->first_row = std::min(drawn->first_row, area.first_row);
  drawn->last_column = std::max(drawn->last_column, area.last_column);
  drawn->last_row = std::max(drawn->last_row, area.last_row);
  return 1;
}

const VTermScreenCallbacks kCallbacks = {
    Damage, nullptr, nullptr, SetTermProp, nullptr, nullptr, nullptr, nullptr,
};

VTermKey VTermKeyFor(NamedKey key) {
  switch (key) {
    case NamedKey::kEscape:
      return VTERM_KEY_ESCAPE;
    case NamedKey::kHome:
      return VTERM_KEY_HOME;
    case NamedKey::kEnd:
      return VTERM_KEY_END;
    case NamedKey::kLeft:
      return VTERM_KEY_LEFT;
    case NamedKey::kRight:
      return VTERM_KEY_RIGHT;
    case NamedKey::kEnter:
      break;
  }
  return VTERM_KEY_ENTER;
}

}  // namespace

const char* KeyName(NamedKey key) {
  switch (key) {
    case NamedKey::kEscape:
      return "Escape";
    case NamedKey::kHome:
      return "Home";
    case NamedKey::kEnd:
      return "End";
    case NamedKey::kLeft:
      return "Left";
    case NamedKey::kRight:
      return "Right";
    case NamedKey::kEnter:
      break;
  }
  return "Enter";
}

std::string TextOf(std::span<const CellLook> row) {
  std::string text;
  for (const CellLook& cell : row) {
    for (const char32_t c : cell.text) AppendUtf8(text, c);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string ColoursOf(std::span<const CellLook> row) {
  std::string letters;
  for (const CellLook& cell : row) letters += ColourLetter(cell);
  return letters;
}

int PcColourFromTerminal(int index) {
  if (index < 0 || index > 15) return -2;
  const int base = index & 7;
  return (index & 8) | ((base & 1) << 2) | (base & 2) | ((base & 4) >> 2);
}

char ColourLetter(const CellLook& look) {
  if (look.foreground == 15 && look.background == 1) return 'W';
  if (look.foreground == 14 && look.background == 1) return 'Y';
  if (look.foreground == 15 && look.background == 4) return 'R';
  if (look.foreground == -1 && look.background == -1) return '.';
  return '?';
}

VirtualTerminal::VirtualTerminal(int rows, int columns)
    : rows_(rows),
      columns_(columns),
      vterm_(vterm_new(rows, columns)),
      screen_(vterm_obtain_screen(vterm_)) {
  vterm_set_utf8(vterm_, 1);
  vterm_screen_set_callbacks(screen_, &kCallbacks, &seen_);
  vterm_screen_reset(screen_, 1);
}

VirtualTerminal::~VirtualTerminal() {
  vterm_free(vterm_);
}

void VirtualTerminal::Feed(std::string_view bytes) {
  vterm_input_write(vterm_, bytes.data(), bytes.size());
  vterm_screen_flush_damage(screen_);
}

void VirtualTerminal::Resize(int rows, int columns) {
  rows_ = rows;
  columns_ = columns;
  vterm_set_size(vterm_, rows, columns);
  vterm_screen_flush_damage(screen_);
}

std::string VirtualTerminal::KeyBytes(NamedKey key) {
  vterm_keyboard_key(vterm_, VTermKeyFor(key), VTERM_MOD_NONE);
  return TakeReplies();
}

std::string VirtualTerminal::TakeReplies() {
  std::string bytes(vterm_output_get_buffer_current(vterm_), '\0');
  bytes.resize(vterm_output_read(vterm_, bytes.data(), bytes.size()));
  return bytes;
}

std::optional<CellArea> VirtualTerminal::TakeDrawnArea() {
  std::optional<CellArea> drawn;
  drawn.swap(seen_.drawn);
  return drawn;
}

CellLook VirtualTerminal::Cell(int column, int row) const {
  VTermScreenCell cell{};
  vterm_screen_get_cell(screen_, VTermPos{row - 1, column - 1}, &cell);
  CellLook look{{}, PcColour(cell.fg, true), PcColour(cell.bg, false)};
  for (const uint32_t c : cell.chars) {
    if (c == 0) break;
    look.text += static_cast<char32_t>(c);
  }
  if (look.text.empty()) look.text.push_back(U' ');
  return look;
}

std::vector<CellLook> VirtualTerminal::RowCells(int row) const {
  std::vector<CellLook> cells;
  for (int column = 1; column <= columns_; ++column) cells.push_back(Cell(column, row));
  return cells;
}

std::string VirtualTerminal::Row(int row) const {
  return TextOf(RowCells(row));
}

std::string VirtualTerminal::Colours(int row) const {
  return ColoursOf(RowCells(row));
}

int VirtualTerminal::CursorColumn() const {
  VTermPos position{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
  return position.col + 1;
}

int VirtualTerminal::CursorRow() const {
  VTermPos position{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
  return position.row + 1;
}

std::string VirtualTerminal::Dump() const {
  std::string dump;
  for (int row = 1; row <= rows_; ++row) {
    dump += '|';
    dump += Row(row);
    dump += '\n';
  }
  dump += "cursor ";
  dump += std::to_string(CursorColumn());
  dump += ',';
  dump += std::to_string(CursorRow());
  dump += seen_.cursor_visible ? " shown\n" : " hidden\n";
  return dump;
}

}  // namespace pagiste::testing
