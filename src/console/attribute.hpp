// The console's one-byte colour attribute: bits 0-3 foreground, bits 4-6
// background, bit 7 bright background. Colours are in the PC text-mode order.
#pragma once

#include <cstdint>

namespace pagiste {

using Attribute = std::uint8_t;

enum ConsoleColor : std::uint8_t {
  kBlue = 1,
  kRed = 4,
  kYellow = 14,
  kWhite = 15,
};

constexpr Attribute WithBackground(Attribute attribute, std::uint8_t color) {
  return static_cast<Attribute>(((color & 0x07) << 4) | (attribute & 0x8F));
}

constexpr Attribute WithForeground(Attribute attribute, std::uint8_t color) {
  return static_cast<Attribute>((color & 0x8F) | (attribute & 0x70));
}

// Terminal colour numbers put red where the PC order has blue.
constexpr int AnsiColor(int pc_color) {
  return ((pc_color & 1) << 2) | (pc_color & 2) | ((pc_color & 4) >> 2);
}

// SGR parameter for the attribute's foreground: 30-37, or 90-97 when bright.
constexpr int SgrForeground(Attribute attribute) {
  return ((attribute & 0x08) != 0 ? 90 : 30) + AnsiColor(attribute & 0x07);
}

// SGR parameter for the attribute's background: 40-47, or 100-107 for bit 7.
constexpr int SgrBackground(Attribute attribute) {
  return ((attribute & 0x80) != 0 ? 100 : 40) + AnsiColor((attribute >> 4) & 0x07);
}

}  // namespace pagiste
