#include "base/cp850.hpp"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace pagiste {
namespace {

TEST(Cp850, EveryByteSurvivesTheRoundTripThroughUnicode) {
  std::set<char32_t> seen;
  for (int code = 0; code < 256; ++code) {
    const char32_t code_point = Cp850ToUnicode(static_cast<std::uint8_t>(code));
    EXPECT_TRUE(seen.insert(code_point).second)
        << "two bytes share U+" << std::hex << std::uint32_t{code_point};
    EXPECT_EQ(UnicodeToCp850(code_point), code) << "byte " << code;
  }
}

TEST(Cp850, TheProgramsAccentedLettersAndSomeOthers) {
  const std::vector<std::pair<std::uint8_t, char32_t>> table = {
      {0x82, U'é'}, {0x85, U'à'}, {0x8A, U'è'},   {0x90, U'É'}, {0x87, U'ç'},
      {0xD5, U'ı'}, {0x9F, U'ƒ'}, {0xFF, 0x00A0}, {'A', U'A'},
  };
  for (const auto& [byte, code_point] : table) EXPECT_EQ(Cp850ToUnicode(byte), code_point);
}

TEST(Cp850, CharactersOutsideTheCodePageHaveNoByte) {
  for (const char32_t code_point : std::u32string(U"€œĀ漢\U0001F600☺")) {
    EXPECT_FALSE(UnicodeToCp850(code_point).has_value()) << std::hex << std::uint32_t{code_point};
  }
}

TEST(Cp850, ControlCodesAreShownAsPcFontSymbolsNeverAsControls) {
  EXPECT_EQ(Cp850Glyph(1), U'☺');
  EXPECT_EQ(Cp850Glyph(3), U'♥');
  EXPECT_EQ(Cp850Glyph(9), U'○');
  EXPECT_EQ(Cp850Glyph(27), U'←');
  EXPECT_EQ(Cp850Glyph(127), U'⌂');
  for (int code = 0; code < 32; ++code) {
    EXPECT_GE(Cp850Glyph(static_cast<std::uint8_t>(code)), U' ') << code;
  }
  EXPECT_EQ(Cp850Glyph(0x82), U'é');
}

TEST(Cp850, Utf8EncodingOfEachLength) {
  const std::vector<std::pair<char32_t, std::string>> table = {
      {U'A', "A"},
      {U'é', "\xC3\xA9"},
      {U'⌂', "\xE2\x8C\x82"},
      {char32_t{0x1F600}, "\xF0\x9F\x98\x80"},
  };
  for (const auto& [code_point, bytes] : table) {
    std::string out;
    AppendUtf8(out, code_point);
    EXPECT_EQ(out, bytes);
  }
}

}  // namespace
}  // namespace pagiste
