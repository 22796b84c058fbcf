// What signals do while the program runs.
#pragma once

namespace pagiste {

// Every signal whose default would end the program first runs the emergency
// undo list (the terminal handed back, a page still being written removed),
// then ends the program as the signal would have. A broken pipe or an
// exceeded file-size limit becomes a failed write, reported like any other.
void InstallEndingSignalHandlers();

}  // namespace pagiste
