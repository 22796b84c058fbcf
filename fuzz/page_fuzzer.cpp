// Any eleven answers the line editor can hand over, into the page's name and
// the page. The page is always the template's 43 lines, its fixed text
// unchanged and in order, with each answer in its places; the name, unless
// refused with cause, stays in the pages' folder and ends in ".htm".
//
// The input: the answers in the order they are asked, each ended by a line
// feed (missing ones are empty). Bytes no answer can hold are left out, and an
// answer is cut to 254 characters, as the line editor would.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "base/control_codes.hpp"
#include "base/cp850.hpp"
#include "base/personne.hpp"
#include "console/line_editor.hpp"
#include "invariant.hpp"
#include "page/page_name.hpp"
#include "page/page_template.hpp"
#include "questionnaire/questions.hpp"
#include "support/fixtures.hpp"

namespace pagiste {
namespace {

using fuzz::Broken;
using fuzz::Escaped;

constexpr std::string_view kPagesFolder = "../personnes/";

// Whether a typed character can be part of an answer: not NUL (no key sends
// it), not DEL (the Backspace key), not a key the editor acts on.
bool Storable(std::uint8_t code) {
  switch (code) {
    case 0:
    case control::kBell:
    case control::kBackspace:
    case control::kLineFeed:
    case control::kCarriageReturn:
    case control::kCtrlS:
    case control::kCtrlY:
    case control::kCtrlZ:
    case control::kEscape:
    case control::kDelete:
      return false;
    default:
      return true;
  }
}

Personne AnswersFrom(std::string_view input) {
  Personne personne;
  for (const Question& question : kQuestions) {
    const std::size_t end = std::min(input.find('\n'), input.size());
    std::string& answer = personne.*question.field;
    for (const char byte : input.substr(0, end)) {
      if (Storable(static_cast<std::uint8_t>(byte)) && answer.size() < kMaxLineLength)
        answer += byte;
    }
    input.remove_prefix(std::min(end + 1, input.size()));
  }
  return personne;
}

// An answer as the page holds it: ASCII as typed, any other character as a
// numeric reference to its Unicode code point.
std::string InPage(std::string_view answer) {
  std::string text;
  for (const char byte : answer) {
    const auto code = static_cast<std::uint8_t>(byte);
    text += code < 0x80
                ? std::string(1, byte)
                : "&#" + std::to_string(static_cast<std::uint32_t>(Cp850ToUnicode(code))) + ";";
  }
  return text;
}

// One line of the template: fixed pieces, an answer between each two.
struct TemplateLine {
  std::vector<std::string> fixed;
  std::vector<std::string Personne::*> answers;  // one fewer than fixed pieces
};

// Marks each answer's places: a text the template itself never holds.
std::string Marker(std::size_t question) {
  return "{{" + std::to_string(question) + "}}";
}

std::string Fill(const TemplateLine& line, const Personne& personne) {
  std::string text = line.fixed.front();
  for (std::size_t i = 0; i < line.answers.size(); ++i) {
    text += InPage(personne.*line.answers[i]) + line.fixed[i + 1];
  }
  return text;
}

std::vector<std::string> SplitLines(const std::string& page) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = page.find("\r\n"); end != std::string::npos;
       end = page.find("\r\n", start)) {
    lines.push_back(page.substr(start, end - start));
    start = end + 2;
  }
  if (start != page.size()) Broken("the hand-written page ends with CR LF", page.substr(start));
  return lines;
}

// The template, from the page of marked answers: each line split around the
// markers. It must give the hand-written page of Jean Dupont byte for byte,
// so the fixed text comes from that page, not from the code under test.
std::vector<TemplateLine> DeriveTemplate() {
  Personne marked;
  for (std::size_t i = 0; i < kQuestions.size(); ++i) marked.*kQuestions[i].field = Marker(i);
  std::vector<TemplateLine> lines;
  for (const std::string& text : PageLines(marked)) {
    TemplateLine line;
    line.fixed.emplace_back();
    for (std::size_t at = 0; at < text.size();) {
      std::size_t question = 0;
      while (question < kQuestions.size() && !text.substr(at).starts_with(Marker(question)))
        ++question;
      if (question == kQuestions.size()) {
        line.fixed.back() += text[at++];
        continue;
      }
      line.answers.push_back(kQuestions[question].field);
      line.fixed.emplace_back();
      at += Marker(question).size();
    }
    lines.push_back(line);
  }
  const std::vector<std::string> hand_written = SplitLines(testing::Fixture("Jean Dupont.htm"));
  if (hand_written.size() != lines.size()) {
    Broken(
        "the template has the hand-written page's lines",
        std::to_string(lines.size()) + " lines, the page " + std::to_string(hand_written.size()));
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string filled = Fill(lines[i], testing::JeanDupont());
    if (filled != hand_written[i]) {
      Broken("the template gives the hand-written page",
             "line " + std::to_string(i + 1) + ": " + Escaped(filled) +
                 "\nhand-written: " + Escaped(hand_written[i]));
    }
  }
  return lines;
}

std::string Show(const Personne& personne) {
  std::string text = "answers:";
  for (const Question& question : kQuestions) text += "\n  " + Escaped(personne.*question.field);
  return text;
}

void CheckPage(const Personne& personne) {
  static const std::vector<TemplateLine> kTemplate = DeriveTemplate();
  const auto lines = PageLines(personne);
  static_assert(std::tuple_size_v<decltype(lines)> == 43, "a page has 43 lines");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // Each line is ended by CR LF when written: a CR or LF inside would make
    // more lines than 43.
    if (lines[i].find_first_of("\r\n") != std::string::npos) {
      Broken("a page line holds no line end",
             Show(personne) + "\nline " + std::to_string(i + 1) + ": " + Escaped(lines[i]));
    }
    const std::string expected = Fill(kTemplate[i], personne);
    if (lines[i] != expected) {
      Broken("each page line is the template's fixed text with the answers in their places",
             Show(personne) + "\nline " + std::to_string(i + 1) + ": " + Escaped(lines[i]) +
                 "\nexpected " + Escaped(expected));
    }
  }
}

// Whether a folder-separated part of the name, after the pages' folder, is "..".
bool ClimbsOut(std::string_view name) {
  name.remove_prefix(kPagesFolder.size());
  std::size_t start = 0;
  for (std::size_t end = 0; end <= name.size(); ++end) {
    if (end < name.size() && name[end] != '/' && name[end] != '\\') continue;
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

// The number of characters in well-formed UTF-8, or nothing.
std::optional<std::size_t> Utf8Length(std::string_view text) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++characters) {
    const auto lead = static_cast<std::uint8_t>(text[at++]);
    const int continuation = lead < 0x80 ? 0 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (continuation < 0 || lead >= 0xF0) return std::nullopt;
    for (int i = 0; i < continuation; ++i) {
      if (at >= text.size() || (static_cast<std::uint8_t>(text[at++]) & 0xC0) != 0x80)
        return std::nullopt;
    }
  }
  return characters;
}

void CheckFileName(const Personne& personne) {
  const std::string name = PageFileName(personne);
  const std::string expected =
      std::string(kPagesFolder) + personne.Prenom + " " + personne.Nom + ".htm";
  if (name != expected) {
    Broken("the page is named after the first and family names",
           Show(personne) + "\nname " + Escaped(name));
  }
  const std::optional<std::string> path = FileSystemPath(name);
  const bool too_long = name.size() > kMaxPathLength;
  const bool climbs_out = ClimbsOut(name);
  if (!path) {
    if (!too_long && !climbs_out) Broken("a name is refused only with cause", Escaped(name));
    return;
  }
  const auto fail = [&](std::string_view rule) {
    Broken(rule, "name " + Escaped(name) + "\npath " + Escaped(*path));
  };
  if (too_long) fail("a name of more than 255 characters is refused");
  if (climbs_out) fail("a name with a \"..\" folder is refused");
  if (!path->starts_with(kPagesFolder)) fail("the path starts in the pages' folder");
  if (!path->ends_with(".htm")) fail("the path ends in .htm");
  if (path->find_first_of(std::string_view("\\\0", 2)) != std::string::npos)
    fail("the path holds neither backslash nor NUL");
  if (Utf8Length(*path) != name.size())
    fail("the path is the name, character for character, in UTF-8");
  // Once normalised, the path still lies in the pages' folder.
  const std::filesystem::path normal = std::filesystem::path(*path).lexically_normal();
  const std::filesystem::path inside = normal.lexically_relative("../personnes");
  if (inside.empty() || *inside.begin() == ".." || *inside.begin() == "." || inside.is_absolute()) {
    fail("the normalised path stays inside ../personnes/");
  }
}

}  // namespace
}  // namespace pagiste

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagiste;
  const Personne personne =
      AnswersFrom(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckPage(personne);
  CheckFileName(personne);
  return 0;
}
