#include "app/run.hpp"

#include <new>

#include "app/failure.hpp"
#include "app/personne.hpp"
#include "app/signals.hpp"
#include "console/console.hpp"
#include "page/page_writer.hpp"
#include "questionnaire/questionnaire.hpp"

namespace pagiste {

int RunSequence() {
  const auto handles = OpenConsole();
  if (!handles) return kExitNoConsole;
  InstallEndingSignalHandlers();
  Console console(*handles);
  try {
    Personne personne;
    RunQuestionnaire(console, personne);
    WritePage(personne);
  } catch (const Failure& failure) {
    console.Restore();
    FailureReport(failure, CallSite(__builtin_return_address(0)));
  } catch (const std::bad_alloc&) {
    // Raised by no check of ours, so no statement can be named.
    console.Restore();
    FailureReport(Failure{kHeapOverflow, 0}, CallSite(__builtin_return_address(0)));
  }
  return kExitCompleted;
}

}  // namespace pagiste
