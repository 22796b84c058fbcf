// What the terminal's terminfo entry says, where the console needs it.
#pragma once

namespace pagiste {

// Whether the terminal on fd erases in the current background colour (the
// bce capability of $TERM's entry). An unknown or missing entry counts as no:
// painting every cell is right everywhere, erasing only where it is known to
// work. The terminal's name is read to learn a capability, which changes the
// bytes sent but nothing the user sees.
bool TerminalErasesInColour(int fd);

}  // namespace pagiste
