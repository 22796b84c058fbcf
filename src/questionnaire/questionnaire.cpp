#include "questionnaire/questionnaire.hpp"

#include <string>
#include <string_view>

#include "base/failure.hpp"
#include "console/attribute.hpp"
#include "questionnaire/questions.hpp"
#include "questionnaire/texts.hpp"

namespace pagiste {
namespace {

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

// One line from the keyboard; input that ends first is a failed read.
std::string ReadAnswer(Console& console) {
  LineRead line = console.ReadLine();
  if (line.end == LineRead::End::kQuitKey) throw QuitKeyPressed{};
  CheckIo(line.end == LineRead::End::kInputEnded ? kReadPastEndOfFile : kNoFailure);
  return std::move(line.text);
}

// Everything but the line end that follows the answer.
void AskWithoutLineEnd(Console& console, Personne& personne, const Question& question) {
  WriteLine(console, question.prompt);
  if (!question.second_line.empty()) WriteLine(console, question.second_line);
  console.SetForeground(kYellow);
  console.WriteText(" ");
  personne.*question.field = ReadAnswer(console);
  console.SetForeground(kWhite);
}

void NewScreen(Console& console) {
  console.SetBackground(kBlue);
  console.SetForeground(kWhite);
  console.ClearScreen();
}

void ShowIntroduction(Console& console) {
  for (const std::string_view line : texts::kIntroduction) WriteLine(console, line);
  console.WriteLineEnd();
}

// Screen 1 opens with the introduction; the very last answer is followed by
// the closing screen straight away, without its line end.
void AskAll(Console& console, Personne& personne) {
  int screen = 0;
  for (const Question& question : kQuestions) {
    if (question.screen != screen) {
      screen = question.screen;
      NewScreen(console);
      if (screen == 1) console.ShowCursor();
      ShowTitleBar(console);
      if (screen == 1) ShowIntroduction(console);
    }
    AskWithoutLineEnd(console, personne, question);
    if (&question != &kQuestions.back()) console.WriteLineEnd();
  }
}

void ShowClosingScreen(Console& console) {
  console.ClearScreen();
  ShowTitleBar(console);
  WriteLine(console, texts::kClosing[0]);
  console.WriteLineEnd();
  WriteLine(console, texts::kClosing[1]);
  console.HideCursor();
  ReadAnswer(console);
}

}  // namespace

void RunQuestionnaire(Console& console, Personne& personne) {
  AskAll(console, personne);
  ShowClosingScreen(console);
}

}  // namespace pagiste
