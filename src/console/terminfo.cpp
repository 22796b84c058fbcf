#include "console/terminfo.hpp"

// Kept apart: term.h defines many short macro names.
#include <term.h>

namespace pagiste {

bool TerminalErasesInColour(int fd) {
  int status = 0;
  if (::setupterm(nullptr, fd, &status) != 0 || status != 1) return false;
  const bool erases = ::tigetflag("bce") > 0;
  ::del_curterm(cur_term);
  return erases;
}

}  // namespace pagiste
