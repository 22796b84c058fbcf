// Writes the person's page: "../personnes/<first> <family>.htm".
#pragma once

#include "base/personne.hpp"

namespace pagiste {

// Ends the run through the failure report when the page cannot be written.
void WritePage(const Personne& personne);

}  // namespace pagiste
