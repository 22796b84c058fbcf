#include "app/run.hpp"

#include <new>

#include "app/failure_report.hpp"
#include "app/signals.hpp"
#include "base/personne.hpp"
#include "console/console.hpp"
#include "page/page_writer.hpp"
#include "questionnaire/questionnaire.hpp"

namespace pagiste {

int RunSequence() {
  InstallEndingSignalHandlers();
  const auto handles = OpenConsole();
  if (!handles) return kExitNoConsole;
  Console console(*handles);
  try {
    Personne personne;
    RunQuestionnaire(console, personne);
    WritePage(personne);
  } catch (const QuitKeyPressed&) {
    console.Restore();
    EndAsQuit();
  } catch (const Failure& failure) {
    console.Restore();
    FailureReport(failure, CallSite(__builtin_return_address(0)));
  } catch (const std::bad_alloc&) {
    // Raised by no check of ours, so no statement can be named.
    console.Restore();
    FailureReport(Failure{kOutOfMemory, 0}, CallSite(__builtin_return_address(0)));
  }
  return kExitCompleted;
}

}  // namespace pagiste
