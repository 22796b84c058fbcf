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
  const int index = colour.indexed.idx;
  const int base = index & 7;
  return (index & 8) | ((base & 1) << 2) | (base & 2) | ((base & 4) >> 2);
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

}  // namespace

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

std::string VirtualTerminal::Row(int row) const {
  std::string text;
  for (int column = 1; column <= columns_; ++column) {
    for (const char32_t c : Cell(column, row).text) AppendUtf8(text, c);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string VirtualTerminal::Colours(int row) const {
  std::string letters;
  for (int column = 1; column <= columns_; ++column) {
    const CellLook look = Cell(column, row);
    if (look.foreground == 15 && look.background == 1)
      letters += 'W';
    else if (look.foreground == 14 && look.background == 1)
      letters += 'Y';
    else if (look.foreground == 15 && look.background == 4)
      letters += 'R';
    else if (look.foreground == -1 && look.background == -1)
      letters += '.';
    else
      letters += '?';
  }
  return letters;
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
