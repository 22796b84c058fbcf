// Code page 850, the character set in which the program holds its texts and
// the answers, and its link to the terminal's UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pagiste {

// What the character shows on screen: the letter for printable codes, the PC
// font's symbol for a control code (so no raw control byte reaches a terminal).
char32_t Cp850Glyph(std::uint8_t code);

// The character's Unicode code point as text (control codes stay themselves).
char32_t Cp850ToUnicode(std::uint8_t code);

// The code page 850 byte for a typed character, or nothing when it has none.
std::optional<std::uint8_t> UnicodeToCp850(char32_t code_point);

void AppendUtf8(std::string& out, char32_t code_point);

}  // namespace pagiste
