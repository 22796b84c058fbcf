// The control codes the console gives a meaning to, as characters and keys.
#pragma once

#include <cstdint>

namespace pagiste::control {

inline constexpr std::uint8_t kBell = 7;
inline constexpr std::uint8_t kBackspace = 8;
inline constexpr std::uint8_t kLineFeed = 10;        // Ctrl+J
inline constexpr std::uint8_t kCarriageReturn = 13;  // Enter
inline constexpr std::uint8_t kCtrlS = 19;
inline constexpr std::uint8_t kCtrlY = 25;
inline constexpr std::uint8_t kCtrlZ = 26;
inline constexpr std::uint8_t kEscape = 27;
inline constexpr std::uint8_t kFileSeparator = 28;  // Ctrl+backslash
inline constexpr std::uint8_t kDelete = 127;

}  // namespace pagiste::control
