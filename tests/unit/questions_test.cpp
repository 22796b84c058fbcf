// The questionnaire's table, pinned to the texts the user must see: every
// other test reads the table, so this one holds it to its exact wording.
#include "questionnaire/questions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program_run.hpp"

namespace pagiste {
namespace {

struct Expected {
  int screen;
  const char* prompt;  // as shown, in UTF-8
  const char* second_line;
  std::string Personne::*field;
};

TEST(Questions, ElevenPromptsInOrderEachFillingItsField) {
  const std::vector<Expected> expected = {
      {1, " Nom :", "", &Personne::Nom},
      {1, " Prénom :", "", &Personne::Prenom},
      {1, " Adresse :", "", &Personne::Adresse},
      {1, " E-mail :", "", &Personne::Email},
      {1, " E-mail 2 :", "", &Personne::Email2},
      {1, " Numéro de téléphone (fixe) :", "", &Personne::TelFixe},
      {2, " Numéro de téléphone (portable) :", "", &Personne::TelPortable},
      {2, " Date de naissance :", "", &Personne::DateNaissance},
      {2, " Commentaire :", "", &Personne::Commentaire},
      {2, " Veuillez entrer le chemin d'accès du fichier contenant la photo :", "",
       &Personne::CheminPhoto},
      {2, " Veuillez choisir un skin ... (Tapez \"D\" par défaut)",
       " ATTENTION : Si vous ne tapez rien la page ne s'affichera pas correctement.",
       &Personne::Skin},
  };
  ASSERT_EQ(kQuestions.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(kQuestions[i].screen, expected[i].screen) << i;
    EXPECT_EQ(testing::Utf8FromCp850(kQuestions[i].prompt), expected[i].prompt) << i;
    EXPECT_EQ(testing::Utf8FromCp850(kQuestions[i].second_line), expected[i].second_line) << i;
    EXPECT_TRUE(kQuestions[i].field == expected[i].field) << i;
  }
}

TEST(Questions, TheOtherTextsOfTheScreens) {
  EXPECT_EQ(texts::kTitleBar, " Pagiste 4" + std::string(70, ' '));
  EXPECT_EQ(testing::Utf8FromCp850(texts::kIntroduction[0]),
            " Veuillez entrer les informations qui vous seront demandées.");
  EXPECT_EQ(testing::Utf8FromCp850(texts::kIntroduction[1]),
            " Pour passer à l'information suivante, appuyez sur [Entrée].");
  EXPECT_EQ(testing::Utf8FromCp850(texts::kClosing[0]),
            " Toutes les informations nécessaires à la céation du fichier ont été données !");
  EXPECT_EQ(testing::Utf8FromCp850(texts::kClosing[1]), " Appuyez sur [Entrée] pour continuer...");
  // Held in code page 850: é is the one byte 0x82.
  EXPECT_EQ(std::string(texts::kPrenom), std::string(" Pr\x82nom :"));
}

}  // namespace
}  // namespace pagiste
