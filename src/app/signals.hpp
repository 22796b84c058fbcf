// What signals do while the program runs.
#pragma once

namespace pagiste {

// Every signal whose default would end the program first runs the emergency
// undo list (the terminal handed back, a page still being written removed),
// then ends the program as the signal would have. A broken pipe or an
// exceeded file-size limit becomes a failed write, reported like any other.
void InstallEndingSignalHandlers();

// Ends the program as the terminal's quit key would (status 131, 128 +
// SIGQUIT), without leaving a core file behind. The undo list runs first.
[[noreturn]] void EndAsQuit();

}  // namespace pagiste
