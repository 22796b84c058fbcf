// The key decoder under bytes from a keyboard or a pipe, split between reads
// anywhere, with the Esc delay passing where a real program would let it.
//
// The input: a header, a plan of reads, then the bytes typed.
//   byte 0     bit 0 set: the bytes come from a pipe, not a keyboard
//   bytes 1-5  a sequence put after the bytes typed: a known key's or, from a
//              keyboard, any well-formed one; its kind, its parameters (see
//              KnownSequence)
//   byte 6     the control byte that ends the bytes typed
//   byte 7     the key that follows the known sequence
//   byte 8     how many reads the plan holds (low 4 bits)
//   the plan   per read: bits 0-6 its length less one; bit 7 set when the Esc
//              delay passes after it (used in turn, again from the first)
//   the rest   the bytes typed
//
// The stream decoded is: the bytes typed, the control byte, the known
// sequence, the key after it.
#include <sanitizer/allocator_interface.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/control_codes.hpp"
#include "console/key_decoder.hpp"
#include "invariant.hpp"

namespace pagiste {
namespace {

using fuzz::Broken;
using fuzz::Escaped;
using Keys = std::vector<Key>;
using Kind = Key::Kind;

constexpr Key kHome{Kind::kHome, 0};
constexpr Key kEnd{Kind::kEnd, 0};
constexpr Key kLeft{Kind::kLeft, 0};
constexpr Key kRight{Kind::kRight, 0};
constexpr Key Char(std::uint8_t code) {
  return Key{Kind::kCharacter, code};
}

std::string Describe(const Keys& keys) {
  static constexpr std::array<const char*, 5> kNames = {"", "Home", "Left", "Right", "End"};
  std::string text = "[";
  for (const Key& key : keys) {
    if (text.size() > 1) text += ' ';
    if (key.kind == Kind::kCharacter) {
      text += std::to_string(key.code);
    } else {
      text += kNames.at(static_cast<std::size_t>(key.kind));
    }
  }
  return text + "]";
}

const char* SourceName(KeySource source) {
  return source == KeySource::kPipe ? "pipe" : "keyboard";
}

// Every control byte but Esc: 0x00-0x1F and DEL.
constexpr std::array<std::uint8_t, 32> kControlBytes = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F, 0x7F};

std::uint8_t KeyCodeOf(std::uint8_t control_byte) {
  return control_byte == control::kDelete ? control::kBackspace : control_byte;
}

// A sequence some terminal sends for a key, with the keys it stands for.
struct KnownKey {
  std::string bytes;  // from its Esc on
  Keys keys;
  // For a sequence of any parameters and final byte from a keyboard: either
  // a row knows it, and it gives that row's key, or it gives nothing.
  bool any_row = false;
};

struct Row {
  const char* bytes = "";  // after the Esc, without parameters
  Key key;
};

// The keys that move or type, as the terminals send them unmodified.
const std::array kActingRows = {
    Row{"[H", kHome},
    Row{"[F", kEnd},
    Row{"[D", kLeft},
    Row{"[C", kRight},
    Row{"[d", kLeft},
    Row{"[c", kRight},
    Row{"OH", kHome},
    Row{"OF", kEnd},
    Row{"OD", kLeft},
    Row{"OC", kRight},
    Row{"OM", Char(control::kCarriageReturn)},
};

// Keys that do nothing here: arrows up and down, F1-F4, Shift+Tab, rxvt
// Ctrl+arrows, focus reports, CSI-u keys, mouse reports with parameters.
const std::array kIdleRows = {
    "[A", "[B", "[E", "[G", "[P", "[Q", "[R", "[S", "[Z", "[a", "[b", "[I", "[O", "[u", "[M",
    "[m", "[^", "[@", "OA", "OB", "OE", "OP", "OQ", "OR", "OS", "Oa", "Ob", "Oc", "Od",
};

constexpr std::string_view kKeypadFinals = "jklmnopqrstuvwxyX";
constexpr std::string_view kKeypadCharacters = "*+,-./0123456789=";

// Puts the parameters between the introducer and the final byte.
std::string WithParameters(std::string_view row, std::string_view parameters) {
  return "\x1b" + std::string(row.substr(0, 1)) + std::string(parameters) +
         std::string(row.substr(1));
}

// The xterm modifier: Shift (2) keeps the key, any other does nothing.
Keys Modified(Key key, int modifier) {
  return modifier <= 2 ? Keys{key} : Keys{};
}

KnownKey ActingKey(std::uint8_t which, std::uint8_t form, std::uint8_t modifier_byte) {
  const Row& row = kActingRows.at(which % kActingRows.size());
  const int modifier = 1 + modifier_byte % 16;
  switch (form % 3) {
    case 0:
      return {WithParameters(row.bytes, ""), {row.key}};
    case 1:
      return {WithParameters(row.bytes, std::to_string(modifier)), Modified(row.key, modifier)};
    default:
      return {WithParameters(row.bytes, "1;" + std::to_string(modifier)),
              Modified(row.key, modifier)};
  }
}

KnownKey IdleKey(std::uint8_t which, std::uint8_t form, std::uint8_t a, std::uint8_t b) {
  const std::string_view row = kIdleRows.at(which % kIdleRows.size());
  std::string parameters;
  switch (form % 4) {
    case 0:
      // ESC [ M alone starts an X10 mouse report, another case.
      parameters = row == "[M" ? "1" : "";
      break;
    case 1:
      parameters = std::to_string(a);
      break;
    case 2:
      parameters = "1;" + std::to_string(a);
      break;
    default:
      parameters = std::to_string(a) + ";" + std::to_string(b) + ";" + std::to_string(which);
      break;
  }
  return {WithParameters(row, parameters), {}};
}

// CSI n ~ (vt) and CSI n $ (rxvt, Shift held): 1 and 7 are Home, 4 and 8 End.
KnownKey NumberedKey(std::uint8_t number_byte, std::uint8_t form, std::uint8_t modifier_byte) {
  const int number = number_byte % 41;
  Keys plain;
  if (number == 1 || number == 7) plain = {kHome};
  if (number == 4 || number == 8) plain = {kEnd};
  const int modifier = 1 + modifier_byte % 16;
  const std::string text = "\x1b[" + std::to_string(number);
  switch (form % 3) {
    case 0:
      return {text + "~", plain};
    case 1:
      return {text + ";" + std::to_string(modifier) + "~",
              plain.empty() ? plain : Modified(plain.front(), modifier)};
    default:
      return {text + "$", plain};
  }
}

// One coordinate of an X10 mouse report: a byte, or a two-byte UTF-8
// character for a far one. A lone byte of 0xC0 and more is never followed by a
// continuation byte here: that would be one UTF-8 character.
std::string MouseCoordinate(std::uint8_t choice, bool first) {
  if (choice < 0x80) return {static_cast<char>(0x20 + choice % 0x5F)};
  if ((choice & 0x40) != 0) {
    return {static_cast<char>(0xC2 + choice % 30), static_cast<char>(0x80 + (choice & 0x3F))};
  }
  return {static_cast<char>(first ? choice : 0xC0 | choice)};
}

KnownKey X10MouseReport(std::uint8_t button, std::uint8_t column, std::uint8_t row) {
  return {"\x1b[M" + MouseCoordinate(button, true) + MouseCoordinate(column, false) +
              MouseCoordinate(row, false),
          {}};
}

KnownKey SgrMouseReport(std::uint8_t button, std::uint8_t column, std::uint8_t row,
                        std::uint8_t press) {
  return {"\x1b[<" + std::to_string(button) + ";" + std::to_string(column) + ";" +
              std::to_string(row) + ((press & 1) != 0 ? "M" : "m"),
          {}};
}

// Parameters beyond what the decoder keeps: from a keyboard consumed and
// dropped, from a pipe never a sequence.
KnownKey OverlongSequence(std::uint8_t extra, KeySource source) {
  const std::string digits(KeyDecoder::kMaxSequenceLength - 1 + extra % 40, '7');
  KnownKey known{"\x1b[" + digits + "D", {}};
  if (source == KeySource::kPipe) {
    known.keys.push_back(Char(control::kEscape));
    for (const char byte : known.bytes.substr(1)) {
      known.keys.push_back(Char(static_cast<std::uint8_t>(byte)));
    }
  }
  return known;
}

// Any well-formed sequence: CSI or SS3, up to three parameter or
// intermediate bytes, a final byte. From a keyboard it is consumed whole.
KnownKey AnySequence(std::uint8_t final_choice, std::uint8_t a, std::uint8_t b, std::uint8_t form) {
  const char introducer = (form & 1) != 0 ? 'O' : '[';
  std::string parameters;
  for (const std::uint8_t choice : {a, b, static_cast<std::uint8_t>(form >> 3)}) {
    if (parameters.size() == static_cast<std::size_t>((form >> 1) % 4)) break;
    // '$' after digits is rxvt's final byte: not a parameter.
    const auto byte = static_cast<char>(0x20 + choice % 0x20);
    parameters += byte == '$' ? '%' : byte;
  }
  auto final_byte = static_cast<char>(0x40 + final_choice % 0x3F);
  // ESC [ [ and ESC [ M are not finished by their final byte.
  if (introducer == '[' && parameters.empty() && (final_byte == '[' || final_byte == 'M'))
    final_byte = 'L';
  return {std::string("\x1b") + introducer + parameters + final_byte, {}, true};
}

KnownKey KnownSequence(std::string_view header, KeySource source) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(header.at(i)); };
  KnownKey known;
  const int kind = (byte(0) & 0x7F) % 9;
  switch (source == KeySource::kPipe && kind == 8 ? 7 : kind) {
    case 0:
      known = ActingKey(byte(1), byte(2), byte(3));
      break;
    case 1:
      known = IdleKey(byte(1), byte(2), byte(3), byte(4));
      break;
    case 2:
      known = NumberedKey(byte(1), byte(2), byte(3));
      break;
    case 3: {
      const std::size_t keypad = byte(1) % kKeypadFinals.size();
      known = {std::string("\x1bO") + kKeypadFinals[keypad],
               {Char(static_cast<std::uint8_t>(kKeypadCharacters[keypad]))}};
      break;
    }
    case 4:
      // The Linux console's F1-F5.
      known = {std::string("\x1b[[") + static_cast<char>('A' + byte(1) % 5), {}};
      break;
    case 5:
      known = SgrMouseReport(byte(1), byte(2), byte(3), byte(4));
      break;
    case 6:
      known = X10MouseReport(byte(1), byte(2), byte(3));
      break;
    case 7:
      known = OverlongSequence(byte(1), source);
      break;
    default:
      known = AnySequence(byte(1), byte(2), byte(3), byte(4));
      break;
  }
  if ((byte(0) & 0x80) != 0) {
    // Alt: an Esc before the sequence. A keyboard's Alt with a key does
    // nothing; a pipe has no Alt, and there the first Esc is the Esc key.
    known.bytes.insert(0, 1, static_cast<char>(control::kEscape));
    if (source == KeySource::kKeyboard) known.keys.clear();
    if (source == KeySource::kPipe) known.keys.insert(known.keys.begin(), Char(control::kEscape));
  }
  return known;
}

// The key after the known sequence: a printable character or a control.
std::pair<std::string, Key> KeyAfter(std::uint8_t choice) {
  if (choice % 4 == 0) {
    const std::uint8_t control = kControlBytes.at(1 + (choice / 4) % (kControlBytes.size() - 1));
    return {std::string(1, static_cast<char>(control)), Char(KeyCodeOf(control))};
  }
  const auto printable = static_cast<std::uint8_t>(0x20 + choice % 0x5F);
  return {std::string(1, static_cast<char>(printable)), Char(printable)};
}

struct Read {
  std::size_t length;
  bool delay_passes;  // no byte follows this read within the Esc delay
};

struct Case {
  KeySource source = KeySource::kKeyboard;
  std::string typed;  // the fuzzer's bytes and the control byte that ends them
  KnownKey known;     // a known key's sequence after them
  std::string after;  // then one more key
  Key after_key;
  std::vector<Read> plan;  // how the stream is split into reads

  [[nodiscard]] std::string Stream() const { return typed + known.bytes + after; }
  [[nodiscard]] std::string Show() const {
    return std::string("source ") + SourceName(source) + ", typed " + Escaped(typed) +
           ", known sequence " + Escaped(known.bytes) + " for " + Describe(known.keys) + ", then " +
           Escaped(after);
  }
};

Case ReadCase(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  Case c;
  c.source = (input.Byte() & 1) != 0 ? KeySource::kPipe : KeySource::kKeyboard;
  std::string known_header(5, '\0');
  for (char& byte : known_header) byte = static_cast<char>(input.Byte());
  const std::uint8_t end_of_typed = kControlBytes.at(input.Byte() % kControlBytes.size());
  const auto [after, after_key] = KeyAfter(input.Byte());
  const int reads = input.Byte() & 0x0F;
  for (int i = 0; i < reads; ++i) {
    const std::uint8_t read = input.Byte();
    c.plan.push_back(Read{static_cast<std::size_t>(read & 0x7F) + 1, (read & 0x80) != 0});
  }
  c.typed = std::string(input.Rest()) + static_cast<char>(end_of_typed);
  c.known = KnownSequence(known_header, c.source);
  c.after = after;
  c.after_key = after_key;
  return c;
}

void Drain(KeyDecoder& decoder, Keys& keys) {
  while (decoder.HasKey()) keys.push_back(decoder.TakeKey());
}

Keys DecodeWhole(const Case& c) {
  KeyDecoder decoder(c.source);
  decoder.Feed(c.Stream());
  decoder.EndOfInput();
  Keys keys;
  Drain(decoder, keys);
  return keys;
}

// Read by read as the plan splits the stream; with_delay lets the Esc delay
// pass where the plan says, as the console does: only for a keyboard, and
// only while an Esc waits.
Keys DecodeInReads(const Case& c, bool with_delay) {
  const std::string stream = c.Stream();
  KeyDecoder decoder(c.source);
  Keys keys;
  std::size_t at = 0;
  for (std::size_t i = 0; at < stream.size(); ++i) {
    const Read read = c.plan.empty() ? Read{stream.size(), false} : c.plan[i % c.plan.size()];
    decoder.Feed(stream.substr(at, read.length));
    at += read.length;
    Drain(decoder, keys);
    if (with_delay && read.delay_passes && c.source == KeySource::kKeyboard &&
        decoder.AwaitsMore()) {
      decoder.Expire();
      if (decoder.AwaitsMore()) Broken("the Esc delay settles a waiting Esc", c.Show());
      Drain(decoder, keys);
    }
  }
  decoder.EndOfInput();
  if (decoder.AwaitsMore()) Broken("nothing waits once the input ended", c.Show());
  Drain(decoder, keys);
  return keys;
}

// The heap a decoder may hold beyond its empty state: the longest sequence it
// keeps whole, with the string's room to grow by doubling.
constexpr std::size_t kMaxHeldBytes = 2 * KeyDecoder::kMaxSequenceLength + 1;

// Byte by byte, watching the heap: what the decoder holds stays bounded
// however long a sequence runs.
Keys DecodeByteByByte(const Case& c) {
  const std::string stream = c.Stream();
  KeyDecoder decoder(c.source);
  Keys keys;
  // Every key comes from a byte of its own: no more keys than bytes, and so
  // no allocation here while the decoder is watched.
  keys.reserve(stream.size() + 1);
  const std::size_t empty = __sanitizer_get_current_allocated_bytes();
  for (const char byte : stream) {
    decoder.Feed(static_cast<std::uint8_t>(byte));
    while (decoder.HasKey()) {
      if (keys.size() == stream.size()) Broken("no more keys than bytes", c.Show());
      keys.push_back(decoder.TakeKey());
    }
    const std::size_t held = __sanitizer_get_current_allocated_bytes() - empty;
    if (held > kMaxHeldBytes) {
      Broken("the decoder's memory stays bounded", c.Show() + "\nholds " + std::to_string(held) +
                                                       " bytes of heap, more than " +
                                                       std::to_string(kMaxHeldBytes));
    }
  }
  decoder.EndOfInput();
  Drain(decoder, keys);
  return keys;
}

// Every control byte but Esc is a key of its own, whatever sequence it
// interrupts: DEL as Backspace (8), NUL as none, and from a pipe an LF right
// after a CR is the end of the same line. Keypad Enter (ESC O M) adds a CR
// key, which its final 'M' allows for.
void CheckControlsAreKept(const Case& c, const Keys& keys, std::string_view how) {
  const std::string stream = c.Stream();
  std::array<std::size_t, 256> in{};
  std::array<std::size_t, 256> out{};
  std::size_t cr_lf_pairs = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) {
    ++in.at(static_cast<std::uint8_t>(stream[i]));
    if (i > 0 && stream[i] == '\n' && stream[i - 1] == '\r') ++cr_lf_pairs;
  }
  for (const Key& key : keys) {
    if (key.kind == Kind::kCharacter) ++out.at(key.code);
  }
  const auto fail = [&](std::uint8_t code, const std::string& expected) {
    Broken("control bytes are never lost nor made up",
           c.Show() + "\n" + std::string(how) + ": keys " + Describe(keys) + "\ncode " +
               std::to_string(code) + " comes " + std::to_string(out.at(code)) +
               " times, expected " + expected);
  };
  if (out[0] != 0) fail(0, "never");
  if (out[control::kDelete] != 0) fail(control::kDelete, "never (DEL is Backspace)");
  if (out[control::kEscape] > in[control::kEscape]) fail(control::kEscape, "at most once per Esc");
  for (std::uint8_t code = 1; code < 0x20; ++code) {
    if (code == control::kEscape) continue;
    std::size_t expected = in.at(code);
    if (code == control::kBackspace) expected += in[control::kDelete];
    if (code == control::kLineFeed && c.source == KeySource::kPipe) expected -= cr_lf_pairs;
    if (code == control::kCarriageReturn) {
      if (out[code] < expected || out[code] > expected + in['M'])
        fail(code,
             "between " + std::to_string(expected) + " and " + std::to_string(expected + in['M']));
      continue;
    }
    if (out.at(code) != expected) fail(code, std::to_string(expected));
  }
}

// Whether a row may give this key for the sequence: a move, Enter, or from
// the keypad (SS3 without parameters) one of its characters.
bool RowKey(std::string_view sequence, Key key) {
  if (key.kind != Kind::kCharacter || key.code == control::kCarriageReturn) return true;
  return sequence.size() == 3 && sequence[1] == 'O' &&
         kKeypadCharacters.find(static_cast<char>(key.code)) != std::string_view::npos;
}

// Fed after bytes that a control byte left in the ground state, a known key's
// sequence gives exactly its own keys, then the key after it: nothing of it
// leaks as a key and it swallows nothing after it.
void CheckKnownSequenceStandsAlone(const Case& c) {
  KeyDecoder decoder(c.source);
  Keys before;
  decoder.Feed(c.typed);
  Drain(decoder, before);
  Keys keys;
  decoder.Feed(c.known.bytes + c.after);
  Drain(decoder, keys);
  decoder.EndOfInput();
  Keys at_end;
  Drain(decoder, at_end);
  Keys expected = c.known.keys;
  if (c.known.any_row && keys.size() == 2 && RowKey(c.known.bytes, keys.front()))
    expected.push_back(keys.front());
  expected.push_back(c.after_key);
  if (keys != expected || !at_end.empty()) {
    Broken("a known sequence gives its own keys and nothing else",
           c.Show() + "\nkeys " + Describe(keys) + " then at the end " + Describe(at_end) +
               ", expected " + Describe(expected));
  }
}

void CheckSameKeys(const Case& c, const Keys& whole, const Keys& other, std::string_view how) {
  if (other == whole) return;
  Broken(
      "the keys do not depend on how the bytes are split into reads",
      c.Show() + "\nwhole: " + Describe(whole) + "\n" + std::string(how) + ": " + Describe(other));
}

}  // namespace
}  // namespace pagiste

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pagiste;
  const Case c = ReadCase(data, size);
  const Keys whole = DecodeWhole(c);
  CheckSameKeys(c, whole, DecodeInReads(c, false), "in reads");
  CheckSameKeys(c, whole, DecodeByteByByte(c), "byte by byte");
  CheckControlsAreKept(c, whole, "whole");
  CheckKnownSequenceStandsAlone(c);
  if (c.source == KeySource::kKeyboard) {
    CheckControlsAreKept(c, DecodeInReads(c, true), "in reads with the Esc delay");
  }
  return 0;
}
