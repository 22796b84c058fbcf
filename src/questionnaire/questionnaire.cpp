#include "questionnaire/questionnaire.hpp"

#include <initializer_list>
#include <string>
#include <string_view>

#include "app/failure.hpp"
#include "console/attribute.hpp"
#include "questionnaire/texts.hpp"

namespace pagiste {
namespace {

struct Question {
  std::initializer_list<std::string_view> prompt_lines;
  std::string Personne::*field = nullptr;
};

void WriteLine(Console& console, std::string_view text) {
  console.WriteText(text);
  console.WriteLineEnd();
}

void ShowTitleBar(Console& console) {
  console.SetBackground(kRed);
  console.WriteText(texts::kTitleBar);
  console.WriteLineEnd();
  console.SetBackground(kBlue);
  console.WriteLineEnd();
}

// Everything but the line end that follows the answer.
void AskWithoutLineEnd(Console& console, Personne& personne, const Question& question) {
  for (const std::string_view line : question.prompt_lines) WriteLine(console, line);
  console.SetForeground(kYellow);
  console.WriteText(" ");
  CheckIo(console.ReadLine(personne.*question.field));
  console.SetForeground(kWhite);
}

void AskQuestion(Console& console, Personne& personne, const Question& question) {
  AskWithoutLineEnd(console, personne, question);
  console.WriteLineEnd();
}

void NewScreen(Console& console) {
  console.SetBackground(kBlue);
  console.SetForeground(kWhite);
  console.ClearScreen();
}

void AskScreenOne(Console& console, Personne& personne) {
  NewScreen(console);
  console.ShowCursor();
  ShowTitleBar(console);
  for (const std::string_view line : texts::kIntroduction) WriteLine(console, line);
  console.WriteLineEnd();
  for (const Question& question : {
           Question{{texts::kNom}, &Personne::Nom},
           Question{{texts::kPrenom}, &Personne::Prenom},
           Question{{texts::kAdresse}, &Personne::Adresse},
           Question{{texts::kEmail}, &Personne::Email},
           Question{{texts::kEmail2}, &Personne::Email2},
           Question{{texts::kTelFixe}, &Personne::TelFixe},
       }) {
    AskQuestion(console, personne, question);
  }
}

void AskScreenTwo(Console& console, Personne& personne) {
  NewScreen(console);
  ShowTitleBar(console);
  for (const Question& question : {
           Question{{texts::kTelPortable}, &Personne::TelPortable},
           Question{{texts::kDateNaissance}, &Personne::DateNaissance},
           Question{{texts::kCommentaire}, &Personne::Commentaire},
           Question{{texts::kCheminPhoto}, &Personne::CheminPhoto},
       }) {
    AskQuestion(console, personne, question);
  }
  // The last answer is followed by the closing screen straight away.
  AskWithoutLineEnd(console, personne,
                    Question{{texts::kSkin, texts::kSkinWarning}, &Personne::Skin});
}

void ShowClosingScreen(Console& console) {
  console.ClearScreen();
  ShowTitleBar(console);
  WriteLine(console, texts::kClosing[0]);
  console.WriteLineEnd();
  WriteLine(console, texts::kClosing[1]);
  console.HideCursor();
  std::string ignored;
  CheckIo(console.ReadLine(ignored));
}

}  // namespace

void RunQuestionnaire(Console& console, Personne& personne) {
  AskScreenOne(console, personne);
  AskScreenTwo(console, personne);
  ShowClosingScreen(console);
}

}  // namespace pagiste
