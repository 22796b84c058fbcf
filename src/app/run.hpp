// The run sequence: console, questionnaire, page, end.
#pragma once

namespace pagiste {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitNoConsole = 1;

// The whole run; gives the exit status or ends the process through the
// failure report, which names the place it was called from.
[[gnu::noinline]] int RunSequence();

}  // namespace pagiste
