// The eleven answers of one run.
#pragma once

#include <string>

namespace pagiste {

struct Personne {
  std::string Nom;
  std::string Prenom;
  std::string TelFixe;
  std::string Adresse;
  std::string Email;
  std::string Email2;
  std::string TelPortable;
  std::string DateNaissance;
  std::string Commentaire;
  std::string CheminPhoto;
  std::string Skin;
};

}  // namespace pagiste
