#include "app/signals.hpp"

#include <sys/prctl.h>
#include <unistd.h>

#include <array>
#include <csignal>

#include "base/emergency_undo.hpp"

namespace pagiste {
namespace {

// Sent from elsewhere, or by the terminal; each would end the program.
constexpr std::array kAsynchronousEndings = {
    SIGHUP,    SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,
    SIGVTALRM, SIGPROF, SIGSTKFLT, SIGXCPU, SIGIO,   SIGPWR,  SIGABRT,
};

// Raised by a fault in the program itself. Under the sanitizers these are
// theirs to report.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr std::array<int, 0> kFaultEndings = {};
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr std::array<int, 0> kFaultEndings = {};
#else
constexpr std::array kFaultEndings = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
#endif
#else
constexpr std::array kFaultEndings = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
#endif

// Async-signal-safe throughout.
void UndoAndEnd(int signal_number, siginfo_t* info, void* /*context*/) {
  // The kernel's hang-up when the terminal goes away is no request to stop:
  // the next read fails, and the run ends through the failure report.
  if (signal_number == SIGHUP && info != nullptr && info->si_code == SI_KERNEL) return;
  emergency::RunAll();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered, with its usual ending, once this handler returns
}

void Handle(int signal_number) {
  struct sigaction action {};
  action.sa_sigaction = UndoAndEnd;
  action.sa_flags = SA_SIGINFO;
  sigfillset(&action.sa_mask);  // nothing else runs while the undo list does
  ::sigaction(signal_number, &action, nullptr);
}

}  // namespace

void InstallEndingSignalHandlers() {
  for (const int signal_number : kAsynchronousEndings) Handle(signal_number);
  for (const int signal_number : kFaultEndings) Handle(signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
    Handle(signal_number);
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

void EndAsQuit() {
  emergency::RunAll();
  ::prctl(PR_SET_DUMPABLE, 0);  // the user asked to leave: no core file
  ::signal(SIGQUIT, SIG_DFL);
  sigset_t quit{};
  sigemptyset(&quit);
  sigaddset(&quit, SIGQUIT);
  ::pthread_sigmask(SIG_UNBLOCK, &quit, nullptr);
  ::raise(SIGQUIT);
  ::_exit(128 + SIGQUIT);
}

}  // namespace pagiste
