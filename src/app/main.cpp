// Pagiste 4: asks one person eleven questions and writes their web page.
#include <cstdlib>

#include "app/run.hpp"

// exit() rather than return keeps the call a real call, so the failure report
// can name this place as the run's caller.
int main() {
  std::exit(pagiste::RunSequence());
}
