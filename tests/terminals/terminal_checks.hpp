// What every terminal program goes through, each check a whole run of the
// program from its first screen to the page written.
#pragma once

#include "terminals/terminal_session.hpp"

namespace pagiste::testing {

// Every screen of a run on 80 x 25, cell by cell, then the page.
void CheckFullRun(const SessionStarter& start);
// An answer longer than a row, and the cursor taken across the row's end.
void CheckWrappedAnswer(const SessionStarter& start);
// The window narrowed to 60 columns and widened to 100 during an answer: the
// same screens as the program started at each size with the same keys.
void CheckResizeDuringAnswer(const SessionStarter& start);
// Home, End, Left, Right and a lone Esc as the terminal sends them.
void CheckEditingKeys(const SessionStarter& start);
// Esc followed at once by Enter: the answer erased, then ended.
void CheckEscThenEnterAtOnce(const SessionStarter& start);

}  // namespace pagiste::testing
