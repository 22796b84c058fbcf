// Answers and files shared by the page tests.
#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/personne.hpp"

namespace pagiste::testing {

// The answers behind fixtures/Jean Dupont.htm, in code page 850.
inline Personne JeanDupont() {
  Personne personne;
  personne.Nom = "Dupont";
  personne.Prenom = "Jean";
  personne.Adresse = "12 rue des Lilas, 75011 Paris";
  personne.Email = "jean.dupont@example.fr";
  personne.Email2 = "jd@example.org";
  personne.TelFixe = "01 23 45 67 89";
  personne.TelPortable = "06 12 34 56 78";
  personne.DateNaissance = "14/07/1985";
  personne.Commentaire = "Passionn\x82 de photo & de jazz";
  personne.CheminPhoto = "photo.jpg";
  personne.Skin = "D";
  return personne;
}

// The same answers as typed, one line each, in the order they are asked.
inline std::string JeanDupontTyped() {
  return "Dupont\nJean\n12 rue des Lilas, 75011 Paris\njean.dupont@example.fr\njd@example.org\n"
         "01 23 45 67 89\n06 12 34 56 78\n14/07/1985\nPassionn\xc3\xa9 de photo & de "
         "jazz\nphoto.jpg\nD\n\n";
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline std::string Fixture(const std::string& name) {
  return ReadFile(std::string(PAGISTE_FIXTURES) + "/" + name);
}

}  // namespace pagiste::testing
