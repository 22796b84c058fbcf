#include "console/key_decoder.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace pagiste {

void PrintTo(const Key& key, std::ostream* out) {
  static constexpr std::array<const char*, 5> kNames = {"char", "Home", "Left", "Right", "End"};
  *out << kNames.at(static_cast<std::size_t>(key.kind));
  if (key.kind == Key::Kind::kCharacter) *out << ' ' << int{key.code};
}

namespace {

using Kind = Key::Kind;

Key Char(std::uint8_t code) {
  return Key{Kind::kCharacter, code};
}
const Key kHome{Kind::kHome, 0};
const Key kEnd{Kind::kEnd, 0};
const Key kLeft{Kind::kLeft, 0};
const Key kRight{Kind::kRight, 0};

std::vector<Key> Drain(KeyDecoder& decoder) {
  std::vector<Key> keys;
  while (decoder.HasKey()) keys.push_back(decoder.TakeKey());
  return keys;
}

std::vector<Key> DecodeWhole(const std::string& bytes, KeySource source = KeySource::kKeyboard) {
  KeyDecoder decoder(source);
  decoder.Feed(bytes);
  decoder.EndOfInput();
  return Drain(decoder);
}

std::vector<Key> DecodeByteByByte(const std::string& bytes,
                                  KeySource source = KeySource::kKeyboard) {
  KeyDecoder decoder(source);
  std::vector<Key> keys;
  for (const char byte : bytes) {
    decoder.Feed(static_cast<std::uint8_t>(byte));
    for (const Key& key : Drain(decoder)) keys.push_back(key);
  }
  decoder.EndOfInput();
  for (const Key& key : Drain(decoder)) keys.push_back(key);
  return keys;
}

struct Case {
  const char* what;
  std::string bytes;
  std::vector<Key> keys;
};

// Each case is followed by "z" so that nothing of a sequence leaks into the
// next key, whole or split into single bytes.
TEST(KeyDecoder, TerminalDialects) {
  const std::vector<Case> cases = {
      {"plain letters", "ab", {Char('a'), Char('b')}},
      {"Enter", "\r", {Char(13)}},
      {"Ctrl+J", "\n", {Char(10)}},
      {"Backspace as DEL", "\x7f", {Char(8)}},
      {"Backspace as BS", "\b", {Char(8)}},
      {"Ctrl+C, Ctrl+S, Ctrl+Y, Ctrl+Z",
       "\x03\x13\x19\x1a",
       {Char(3), Char(19), Char(25), Char(26)}},
      {"Ctrl+Space sends NUL, no character", std::string(1, '\0'), {}},
      {"Home", "\x1b[H", {kHome}},
      {"Home, vt", "\x1b[1~", {kHome}},
      {"Home, rxvt", "\x1b[7~", {kHome}},
      {"Home, application mode", "\x1bOH", {kHome}},
      {"End", "\x1b[F", {kEnd}},
      {"End, vt", "\x1b[4~", {kEnd}},
      {"End, rxvt", "\x1b[8~", {kEnd}},
      {"End, application mode", "\x1bOF", {kEnd}},
      {"Left and Right", "\x1b[D\x1b[C", {kLeft, kRight}},
      {"Left and Right, application mode", "\x1bOD\x1bOC", {kLeft, kRight}},
      {"keypad Enter", "\x1bOM", {Char(13)}},
      {"Shift+Left acts as Left", "\x1b[1;2D", {kLeft}},
      {"Shift+Home acts as Home", "\x1b[1;2H", {kHome}},
      {"Shift+End, vt", "\x1b[4;2~", {kEnd}},
      {"Ctrl+Left does nothing", "\x1b[1;5D", {}},
      {"Alt+Right does nothing", "\x1b[1;3C", {}},
      {"Ctrl+Shift+Home does nothing", "\x1b[1;6H", {}},
      {"Up, Down", "\x1b[A\x1b[B\x1bOA", {}},
      {"Page Up, Page Down, Insert, Delete", "\x1b[5~\x1b[6~\x1b[2~\x1b[3~", {}},
      {"F1-F4", "\x1bOP\x1bOQ\x1bOR\x1bOS", {}},
      {"F5, F12 with Ctrl", "\x1b[15~\x1b[24;5~", {}},
      {"Linux console F1-F5", "\x1b[[A\x1b[[E", {}},
      {"a CSI-u key", "\x1b[97;5u", {}},
      {"a private sequence", "\x1b[?1;2c\x1b[>0;1H", {}},
      {"Alt+letter",
       "\x1b"
       "a",
       {}},
      {"Alt+é", "\x1b\xc3\xa9", {}},
      {"accented letters",
       "\xc3\xa9\xc3\xa0\xc3\xa8\xc3\x89",
       {Char(0x82), Char(0x85), Char(0x8A), Char(0x90)}},
      {"box drawing", "\xe2\x95\x94", {Char(0xC9)}},
      {"euro sign, emoji and CJK are refused", "\xe2\x82\xac\xf0\x9f\x98\x80\xe6\xbc\xa2", {}},
      {"a stray continuation byte", "\x80", {}},
      {"a cut-short character",
       "\xc3"
       "a",
       {Char('a')}},
      {"an over-long slash", "\xc0\xaf\xe0\x80\xaf", {}},
      {"an over-long é", "\xe0\x83\xa9", {}},
      {"a lead byte that cannot start", "\xf8\x88\x80\x80\x80", {}},
      {"a control code cuts a sequence short", "\x1b[1\r", {Char(13)}},
      {"Esc then Enter at once: both keys", "\x1b\r", {Char(27), Char(13)}},
      {"Esc then Backspace, Tab, Ctrl+Y at once",
       "\x1b\x7f\x1b\t\x1b\x19",
       {Char(27), Char(8), Char(27), Char(9), Char(27), Char(25)}},
      {"rxvt Shift+Home and Shift+End", "\x1b[7$\x1b[8$", {kHome, kEnd}},
      {"rxvt Shift+Insert does nothing", "\x1b[2$", {}},
      {"rxvt Shift+Left and Shift+Right", "\x1b[d\x1b[c", {kLeft, kRight}},
      {"rxvt Ctrl+Left, Ctrl+Home do nothing", "\x1bOd\x1b[7^\x1b[8@", {}},
      {"Alt as an Esc prefix: rxvt Alt+Left", "\x1b\x1b[D", {}},
      {"Alt as an Esc prefix: Alt+Home, vt", "\x1b\x1b[1~\x1b\x1bOH", {}},
      {"a lone modifier parameter: Ctrl+Left, Alt+Left", "\x1b[5D\x1b[3D\x1bO5D", {}},
      {"a lone Shift parameter", "\x1b[2D", {kLeft}},
      {"xterm Shift+F1, CSI 1;2P", "\x1b[1;2P", {}},
      {"keypad digits in application mode",
       "\x1bOq\x1bOp\x1bOn",
       {Char('1'), Char('0'), Char('.')}},
      {"X10 mouse report", "\x1b[M !!", {}},
      {"X10 mouse report with letters as coordinates", "\x1b[M`ab", {}},
      {"X10 mouse report, far coordinates in UTF-8", "\x1b[M \xc2\x80\xc3\xbf", {}},
      // Without the UTF-8 extension a far coordinate is one raw byte: a lead
      // byte last in the report, followed by no second byte, ends it.
      {"X10 mouse report, raw far coordinates", "\x1b[M\x96\xd6\xd6", {}},
      {"Alt with an X10 mouse report, raw last coordinate", "\x1b\x1b[M !\xc3", {}},
      {"SGR mouse press and release", "\x1b[<0;12;5M\x1b[<0;12;5m", {}},
      {"urxvt mouse report", "\x1b[32;12;5M", {}},
      {"focus in and out", "\x1b[I\x1b[O", {}},
      {"bracketed paste markers around text", "\x1b[200~ab\x1b[201~", {Char('a'), Char('b')}},
      {"Linux console ESC [ [ then Enter: only the Enter", "\x1b[[\r", {Char(13)}},
      {"an unknown sequence", "\x1b[12;3;4;5x\x1bOz", {}},
      {"DEL inside a sequence is a key", "\x1b[1\x7f", {Char(8)}},
  };
  for (const Case& c : cases) {
    std::vector<Key> expected = c.keys;
    expected.push_back(Char('z'));
    EXPECT_EQ(DecodeWhole(c.bytes + "z"), expected) << c.what;
    EXPECT_EQ(DecodeByteByByte(c.bytes + "z"), expected) << c.what << ", byte by byte";
  }
}

// Piped text carries no Alt: an Esc is the Esc key, and what follows it is a
// sequence only when it spells a known key whole.
TEST(KeyDecoder, PipedInputHasNoAlt) {
  const std::vector<Case> cases = {
      {"Esc then a letter", "wr\x1bri", {Char('w'), Char('r'), Char(27), Char('r'), Char('i')}},
      {"Esc then a line end",
       "ab\x1b\ncd\n",
       {Char('a'), Char('b'), Char(27), Char(10), Char('c'), Char('d'), Char(10)}},
      {"Esc then é", "\x1b\xc3\xa9", {Char(27), Char(0x82)}},
      {"Esc Esc", "\x1b\x1b", {Char(27), Char(27)}},
      {"a known key whole", "\x1b[D\x1bOH\x1b[8~", {kLeft, kHome, kEnd}},
      {"Esc Esc [ D: Esc, then Left", "\x1b\x1b[D", {Char(27), kLeft}},
      {"brackets that spell no key", "\x1b[x", {Char(27), Char('['), Char('x')}},
      {"a bracket cut by a line end", "\x1b[1\n", {Char(27), Char('['), Char('1'), Char(10)}},
      {"Linux console bracket cut", "\x1b[[z", {Char(27), Char('['), Char('['), Char('z')}},
  };
  for (const Case& c : cases) {
    std::vector<Key> expected = c.keys;
    expected.push_back(Char('z'));
    EXPECT_EQ(DecodeWhole(c.bytes + "z", KeySource::kPipe), expected) << c.what;
    EXPECT_EQ(DecodeByteByByte(c.bytes + "z", KeySource::kPipe), expected)
        << c.what << ", byte by byte";
  }
  // Ended inside a sequence: what was read is settled as keys.
  EXPECT_EQ(DecodeWhole("\x1b[1", KeySource::kPipe),
            (std::vector<Key>{Char(27), Char('['), Char('1')}));
}

// A sequence that never ends is kept to a few dozen bytes: memory stays flat
// and nothing of it is typed; from a pipe its bytes were never a sequence.
TEST(KeyDecoder, ASequenceThatNeverEndsIsCapped) {
  KeyDecoder keyboard;
  keyboard.Feed(std::string("\x1b["));
  for (int i = 0; i < 100000; ++i) keyboard.Feed('7');
  keyboard.Feed(std::string("Dz"));
  EXPECT_EQ(Drain(keyboard), std::vector<Key>{Char('z')});

  KeyDecoder pipe(KeySource::kPipe);
  pipe.Feed(std::string("\x1b[") + std::string(100, '7') + "D");
  std::vector<Key> expected = {Char(27), Char('[')};
  for (int i = 0; i < 100; ++i) expected.push_back(Char('7'));
  expected.push_back(Char('D'));
  EXPECT_EQ(Drain(pipe), expected);
}

TEST(KeyDecoder, ALoneEscIsEscOnlyOnceTheDelayPassed) {
  KeyDecoder decoder;
  decoder.Feed(0x1B);
  EXPECT_FALSE(decoder.HasKey());
  EXPECT_TRUE(decoder.AwaitsMore());
  decoder.Expire();
  EXPECT_EQ(Drain(decoder), std::vector<Key>{Char(27)});
  EXPECT_FALSE(decoder.AwaitsMore());
  // Esc pressed twice: both are keys once the delay passed.
  decoder.Feed(std::string("\x1b\x1b"));
  EXPECT_TRUE(decoder.AwaitsMore());
  decoder.Expire();
  EXPECT_EQ(Drain(decoder), (std::vector<Key>{Char(27), Char(27)}));
  // Esc then a letter within the delay is Alt+letter, which does nothing.
  decoder.Feed(std::string("\x1bq"));
  decoder.Expire();
  EXPECT_FALSE(decoder.HasKey());
}

TEST(KeyDecoder, ASequenceSplitAcrossReadsIsNotCutByTheDelay) {
  KeyDecoder decoder;
  decoder.Feed(std::string("\x1b["));
  EXPECT_FALSE(decoder.AwaitsMore());  // inside a sequence: wait for the rest, however late
  decoder.Expire();
  EXPECT_FALSE(decoder.HasKey());
  decoder.Feed(std::string("1;2"));
  decoder.Expire();
  decoder.Feed(std::string("D"));
  EXPECT_EQ(Drain(decoder), std::vector<Key>{kLeft});
}

TEST(KeyDecoder, ABurstDeliversEveryKeyOnceInOrder) {
  std::string burst;
  std::vector<Key> expected;
  for (int i = 0; i < 300; ++i) {
    burst += static_cast<char>('a' + i % 26);
    expected.push_back(Char(static_cast<std::uint8_t>('a' + i % 26)));
    if (i % 7 == 0) {
      burst += "\x1b[D\xc3\xa9";
      expected.push_back(kLeft);
      expected.push_back(Char(0x82));
    }
  }
  EXPECT_EQ(DecodeWhole(burst), expected);
}

// However the bytes are split between reads, the keys are the same.
TEST(KeyDecoder, RandomInputGivesTheSameKeysWholeOrInPieces) {
  std::mt19937 random(20261211);
  const std::string alphabet =
      std::string("\x1b[O;~1234578ABCDFHMPu\r\n\x7f\x03a\xc3\xa9\xe2\x82\xac\x80\xff", 32);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) bytes += alphabet[random() % alphabet.size()];
    KeyDecoder in_pieces;
    std::vector<Key> keys;
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t piece = 1 + random() % 5;
      in_pieces.Feed(bytes.substr(at, piece));
      at += piece;
      for (const Key& key : Drain(in_pieces)) keys.push_back(key);
    }
    in_pieces.EndOfInput();
    for (const Key& key : Drain(in_pieces)) keys.push_back(key);
    ASSERT_EQ(keys, DecodeWhole(bytes)) << ::testing::PrintToString(bytes);
    for (const Key& key : keys) {
      if (key.kind == Kind::kCharacter) {
        EXPECT_NE(key.code, 0);
      }
    }
  }
}

TEST(KeyDecoder, PipedInputEndsALineAtLfCrOrCrLf) {
  const std::vector<Key> three_lines = {Char('a'), Char(13),  Char('b'),
                                        Char(10),  Char('c'), Char(13)};
  EXPECT_EQ(DecodeWhole("a\r\nb\nc\r", KeySource::kPipe), three_lines);
  EXPECT_EQ(DecodeWhole("\r\n\r\n", KeySource::kPipe), (std::vector<Key>{Char(13), Char(13)}));
  EXPECT_EQ(DecodeWhole("\n\n", KeySource::kPipe), (std::vector<Key>{Char(10), Char(10)}));
  // From a keyboard Enter and Ctrl+J are two keys.
  EXPECT_EQ(DecodeWhole("\r\n", KeySource::kKeyboard), (std::vector<Key>{Char(13), Char(10)}));
}

}  // namespace
}  // namespace pagiste
