// The eleven questions, in the order they are asked: from this one table the
// screens are drawn and the answers filed.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "base/personne.hpp"
#include "questionnaire/texts.hpp"

namespace pagiste {

struct Question {
  int screen;                    // 1 or 2
  std::string_view prompt;       // in code page 850
  std::string_view second_line;  // written under the prompt; empty for most
  std::string Personne::*field;  // where the answer goes
};

inline constexpr std::array<Question, 11> kQuestions = {{
    {1, texts::kNom, {}, &Personne::Nom},
    {1, texts::kPrenom, {}, &Personne::Prenom},
    {1, texts::kAdresse, {}, &Personne::Adresse},
    {1, texts::kEmail, {}, &Personne::Email},
    {1, texts::kEmail2, {}, &Personne::Email2},
    {1, texts::kTelFixe, {}, &Personne::TelFixe},
    {2, texts::kTelPortable, {}, &Personne::TelPortable},
    {2, texts::kDateNaissance, {}, &Personne::DateNaissance},
    {2, texts::kCommentaire, {}, &Personne::Commentaire},
    {2, texts::kCheminPhoto, {}, &Personne::CheminPhoto},
    {2, texts::kSkin, texts::kSkinWarning, &Personne::Skin},
}};

}  // namespace pagiste
