// The three screens and the eleven questions.
#pragma once

#include "base/personne.hpp"
#include "console/console.hpp"

namespace pagiste {

// Raised when the user presses the key that always ends the program.
struct QuitKeyPressed {};

// Draws the screens, fills every field of personne, and returns once Enter
// was pressed on the closing screen.
void RunQuestionnaire(Console& console, Personne& personne);

}  // namespace pagiste
