// What the usual ending signals do while the program runs.
#pragma once

namespace pagiste {

// SIGTERM, SIGINT, SIGQUIT and SIGHUP sent by another process hand the
// terminal back, remove a page still being written, and then end the program
// as the signal would have. A broken pipe or an exceeded file-size limit
// becomes a failed write, reported like any other.
void InstallEndingSignalHandlers();

}  // namespace pagiste
