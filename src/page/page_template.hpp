// The page: a fixed template of 43 HTML lines with the answers inserted.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "base/personne.hpp"

namespace pagiste {

inline constexpr std::size_t kPageLineCount = 43;

// An answer as the page holds it: ASCII bytes unchanged (nothing is escaped),
// every other character as a numeric reference to its Unicode code point, so
// the page reads the same in every browser whatever character set it assumes.
std::string PageAnswer(std::string_view cp850);

// The page's lines, without their line ends.
std::array<std::string, kPageLineCount> PageLines(const Personne& personne);

}  // namespace pagiste
