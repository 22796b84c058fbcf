#include "app/signals.hpp"

#include <array>
#include <csignal>

#include "console/terminal.hpp"
#include "page/page_file.hpp"

namespace pagiste {
namespace {

constexpr std::array kEndingSignals = {SIGTERM, SIGINT, SIGQUIT, SIGHUP};

// Async-signal-safe throughout.
void CleanUpAndEnd(int signal_number, siginfo_t* info, void* /*context*/) {
  // The kernel's hang-up when the terminal goes away is no request to stop:
  // the next read fails, and the run ends through the failure report.
  if (signal_number == SIGHUP && info != nullptr && info->si_code == SI_KERNEL) return;
  RemoveUnfinishedPageNow();
  RestoreTerminalNow();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered, with its usual ending, once this handler returns
}

}  // namespace

void InstallEndingSignalHandlers() {
  struct sigaction action {};
  action.sa_sigaction = CleanUpAndEnd;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kEndingSignals) sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : kEndingSignals) ::sigaction(signal_number, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace pagiste
