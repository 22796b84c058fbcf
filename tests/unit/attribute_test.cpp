#include "console/attribute.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace pagiste {
namespace {

TEST(Attribute, ColourArithmetic) {
  struct Case {
    const char* what;
    Attribute start;
    int background;  // -1: not set
    int foreground;  // -1: not set
    Attribute expected;
  };
  const std::vector<Case> cases = {
      {"only three bits of a background count", 0x07, 9, -1, 0x17},
      {"yellow on red", 0x07, 4, 14, 0x4E},
      {"white on blue whatever came before", 0xF0, 1, 15, 0x1F},
      {"background keeps bit 7", 0x87, 2, -1, 0xA7},
      {"foreground 15 clears bit 7", 0x87, -1, 15, 0x0F},
      {"foreground with bit 7 sets the bright background", 0x10, -1, 0x8E, 0x9E},
      {"background keeps the foreground", 0x0E, 4, -1, 0x4E},
  };
  for (const Case& c : cases) {
    Attribute attribute = c.start;
    if (c.background >= 0)
      attribute = WithBackground(attribute, static_cast<std::uint8_t>(c.background));
    if (c.foreground >= 0)
      attribute = WithForeground(attribute, static_cast<std::uint8_t>(c.foreground));
    EXPECT_EQ(attribute, c.expected) << c.what;
  }
}

TEST(Attribute, TerminalColourNumbersSwapRedAndBlue) {
  struct Case {
    Attribute attribute;
    int foreground;
    int background;
  };
  const std::vector<Case> cases = {
      {0x1F, 97, 44},   // white on blue
      {0x4F, 97, 41},   // white on red
      {0x1E, 93, 44},   // yellow on blue
      {0x07, 37, 40},   // light grey on black
      {0x63, 36, 43},   // cyan on brown
      {0x99, 94, 104},  // light blue on a bright blue background
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SgrForeground(c.attribute), c.foreground) << std::hex << int{c.attribute};
    EXPECT_EQ(SgrBackground(c.attribute), c.background) << std::hex << int{c.attribute};
  }
}

}  // namespace
}  // namespace pagiste
