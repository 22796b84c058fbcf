#include "console/key_decoder.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

#include "base/control_codes.hpp"
#include "base/cp850.hpp"

namespace pagiste {
namespace {

// What a recognised sequence does: a key, a character, or nothing at all.
struct Action {
  enum class Kind : std::uint8_t { kNothing, kKey, kCharacter };
  Kind kind = Kind::kNothing;
  Key::Kind key = Key::Kind::kCharacter;
  std::uint8_t code = 0;
};

constexpr Action kNothing{};
constexpr Action Moves(Key::Kind key) {
  return Action{Action::Kind::kKey, key, 0};
}
constexpr Action Types(std::uint8_t code) {
  return Action{Action::Kind::kCharacter, Key::Kind::kCharacter, code};
}

// One row of the dialect table: the sequence's introducer ('[' for CSI, 'O'
// for SS3) and final byte, and what the key does unmodified. Parameters are
// read apart: a number that picks the key, and the xterm modifier.
struct Dialect {
  char introducer = 0;
  char final_byte = 0;
  Action plain;
};

// clang-format off
constexpr std::array kLetterKeys = {
    Dialect{'[', 'H', Moves(Key::Kind::kHome)},   // xterm Home
    Dialect{'[', 'F', Moves(Key::Kind::kEnd)},    // xterm End
    Dialect{'[', 'D', Moves(Key::Kind::kLeft)},
    Dialect{'[', 'C', Moves(Key::Kind::kRight)},
    Dialect{'[', 'd', Moves(Key::Kind::kLeft)},   // rxvt Shift+Left
    Dialect{'[', 'c', Moves(Key::Kind::kRight)},  // rxvt Shift+Right
    Dialect{'O', 'H', Moves(Key::Kind::kHome)},   // application cursor mode
    Dialect{'O', 'F', Moves(Key::Kind::kEnd)},
    Dialect{'O', 'D', Moves(Key::Kind::kLeft)},
    Dialect{'O', 'C', Moves(Key::Kind::kRight)},
    Dialect{'O', 'M', Types(control::kCarriageReturn)},  // keypad Enter
    // Keys that do nothing here: Up, Down, keypad 5, F1-F4, Shift+Tab,
    // rxvt Shift+Up/Down and Ctrl+arrows, focus reports, CSI-u keys, and
    // mouse reports with their coordinates as parameters (urxvt, SGR).
    Dialect{'[', 'A', kNothing}, Dialect{'[', 'B', kNothing}, Dialect{'[', 'E', kNothing},
    Dialect{'[', 'G', kNothing}, Dialect{'[', 'P', kNothing}, Dialect{'[', 'Q', kNothing},
    Dialect{'[', 'R', kNothing}, Dialect{'[', 'S', kNothing}, Dialect{'[', 'Z', kNothing},
    Dialect{'[', 'a', kNothing}, Dialect{'[', 'b', kNothing}, Dialect{'[', 'I', kNothing},
    Dialect{'[', 'O', kNothing}, Dialect{'[', 'u', kNothing}, Dialect{'[', 'M', kNothing},
    Dialect{'[', 'm', kNothing}, Dialect{'[', '^', kNothing}, Dialect{'[', '@', kNothing},
    Dialect{'O', 'A', kNothing}, Dialect{'O', 'B', kNothing}, Dialect{'O', 'E', kNothing},
    Dialect{'O', 'P', kNothing}, Dialect{'O', 'Q', kNothing}, Dialect{'O', 'R', kNothing},
    Dialect{'O', 'S', kNothing}, Dialect{'O', 'a', kNothing}, Dialect{'O', 'b', kNothing},
    Dialect{'O', 'c', kNothing}, Dialect{'O', 'd', kNothing},
};

// Numbered keys, CSI n ~ (vt) and CSI n $ (rxvt, Shift held).
struct NumberedKey {
  int number = 0;
  Action plain;
};
constexpr std::array kNumberedKeys = {
    NumberedKey{1, Moves(Key::Kind::kHome)}, NumberedKey{7, Moves(Key::Kind::kHome)},
    NumberedKey{4, Moves(Key::Kind::kEnd)},  NumberedKey{8, Moves(Key::Kind::kEnd)},
};
// clang-format on

// The keypad in application mode: ESC O j .. ESC O y, and ESC O X.
constexpr std::string_view kKeypadFinals = "jklmnopqrstuvwxyX";
constexpr std::string_view kKeypadCharacters = "*+,-./0123456789=";

// The xterm modifier (1 + Shift 1 + Alt 2 + Ctrl 4 + Meta 8): Shift alone
// keeps the key; any other makes it a key that does nothing here.
Action Modified(Action plain, int modifier) {
  return modifier <= 2 ? plain : kNothing;
}

// The numbers of a parameter string made of digits and ';' only.
std::optional<std::vector<int>> Numbers(std::string_view text) {
  std::vector<int> numbers;
  if (text.empty()) return numbers;
  for (;;) {
    int value = 1;  // an empty number is the default, 1
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) return std::nullopt;
    numbers.push_back(value);
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    if (text.empty()) return numbers;
    if (text.front() != ';') return std::nullopt;
    text.remove_prefix(1);
  }
}

std::optional<Action> RecogniseLetter(char introducer, char final_byte,
                                      const std::vector<int>& numbers) {
  if (introducer == 'O') {
    const std::size_t keypad = kKeypadFinals.find(final_byte);
    if (keypad != std::string_view::npos && numbers.empty())
      return Types(static_cast<std::uint8_t>(kKeypadCharacters[keypad]));
  }
  const auto* row = std::find_if(kLetterKeys.begin(), kLetterKeys.end(), [&](const Dialect& d) {
    return d.introducer == introducer && d.final_byte == final_byte;
  });
  if (row == kLetterKeys.end()) return std::nullopt;
  // Mouse and focus reports carry coordinates, not a modifier.
  if (numbers.size() > 2 || row->plain.kind == Action::Kind::kNothing) return kNothing;
  // "1;m" gives the modifier m; older terminals send "m" alone.
  const int modifier = numbers.empty() ? 1 : numbers.back();
  if (numbers.size() == 2 && numbers.front() != 1) return kNothing;
  return Modified(row->plain, modifier);
}

std::optional<Action> RecogniseNumbered(char final_byte, const std::vector<int>& numbers) {
  if (numbers.empty() || numbers.size() > 2) return std::nullopt;
  const auto* row = std::find_if(kNumberedKeys.begin(), kNumberedKeys.end(),
                                 [&](const NumberedKey& key) { return key.number == numbers[0]; });
  const Action plain = row == kNumberedKeys.end() ? kNothing : row->plain;
  if (final_byte == '$') return numbers.size() == 1 ? plain : kNothing;  // Shift is in the '$'
  return Modified(plain, numbers.size() == 2 ? numbers[1] : 1);
}

// What the sequence after Esc does, or nothing when no terminal sends it for
// a key. sequence holds its introducer, its parameters and its final byte.
std::optional<Action> Recognise(std::string_view sequence) {
  const char introducer = sequence.front();
  const char final_byte = sequence.back();
  const std::string_view parameters = sequence.substr(1, sequence.size() - 2);
  if (introducer == '[' && parameters.starts_with('<')) {
    return final_byte == 'M' || final_byte == 'm' ? std::optional(kNothing) : std::nullopt;
  }
  const auto numbers = Numbers(parameters);
  if (!numbers) return std::nullopt;
  if (introducer == '[' && (final_byte == '~' || final_byte == '$'))
    return RecogniseNumbered(final_byte, *numbers);
  return RecogniseLetter(introducer, final_byte, *numbers);
}

bool IsFinalByte(std::uint8_t byte) {
  return byte >= 0x40 && byte <= 0x7E;
}

bool IsControl(std::uint8_t byte) {
  return byte < 0x20 || byte == control::kDelete;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void KeyDecoder::Feed(std::uint8_t byte) {
  switch (state_) {
    case State::kGround:
      FeedGround(byte);
      break;
    case State::kEscape:
      FeedEscape(byte);
      break;
    case State::kCsi:
    case State::kSs3:
      FeedSequence(byte);
      break;
    case State::kLinuxFunction:
      FeedLinuxFunction(byte);
      break;
    case State::kMouseReport:
      FeedMouseReport(byte);
      break;
    case State::kUtf8:
      FeedUtf8(byte);
      break;
  }
}

void KeyDecoder::FeedGround(std::uint8_t byte) {
  // Piped text ends a line at LF, CR or CR LF: the LF of a CR LF pair is dropped.
  const bool folded =
      source_ == KeySource::kPipe && after_carriage_return_ && byte == control::kLineFeed;
  after_carriage_return_ = byte == control::kCarriageReturn;
  if (folded) return;
  if (byte == control::kEscape) {
    state_ = State::kEscape;
    alt_prefix_ = false;
  } else if (byte >= 0x80) {
    StartUtf8(byte, false);
  } else if (byte == control::kDelete) {
    DeliverCharacter(control::kBackspace);  // what most terminals send for Backspace
  } else if (byte != 0) {
    DeliverCharacter(byte);
  }
}

void KeyDecoder::FeedEscape(std::uint8_t byte) {
  const bool keyboard = source_ == KeySource::kKeyboard;
  if (byte == '[') {
    StartSequence(State::kCsi, byte);
  } else if (byte == 'O') {
    StartSequence(State::kSs3, byte);
  } else if (byte == control::kEscape && keyboard && !alt_prefix_) {
    alt_prefix_ = true;  // Alt sent as an Esc before a key that is itself a sequence
  } else if (byte == control::kEscape) {
    DeliverCharacter(control::kEscape);  // Esc pressed twice: the first is a key of its own
  } else if (!keyboard || IsControl(byte)) {
    SettleEscape();
    FeedGround(byte);
  } else {
    // Alt + a key: read whole, then ignored.
    if (alt_prefix_) DeliverCharacter(control::kEscape);
    alt_prefix_ = false;
    state_ = State::kGround;
    if (byte >= 0x80) StartUtf8(byte, true);
  }
}

void KeyDecoder::StartSequence(State state, std::uint8_t introducer) {
  state_ = state;
  sequence_.assign(1, static_cast<char>(introducer));
  overlong_ = false;
}

void KeyDecoder::FeedSequence(std::uint8_t byte) {
  if (state_ == State::kCsi && sequence_ == "[" && byte == '[') {
    state_ = State::kLinuxFunction;
    return;
  }
  const std::string_view parameters = std::string_view(sequence_).substr(1);
  // rxvt ends Shift+Home and the like with '$', which is otherwise no final byte.
  const bool rxvt_final = state_ == State::kCsi && byte == '$' && AllDigits(parameters);
  if (IsFinalByte(byte) || rxvt_final) {
    sequence_.push_back(static_cast<char>(byte));
    FinishSequence(byte);
  } else if (byte >= 0x20 && byte < 0x40) {
    if (sequence_.size() < kMaxSequenceLength) {
      sequence_.push_back(static_cast<char>(byte));
    } else if (source_ == KeySource::kPipe) {
      DropSequence(byte);  // no key is that long: these were never a sequence
    } else {
      overlong_ = true;  // consumed to its end, kept no further
    }
  } else {
    DropSequence(byte);
  }
}

void KeyDecoder::FeedLinuxFunction(std::uint8_t byte) {
  // The Linux console's F1-F5: ESC [ [ A .. E, which do nothing here.
  if (byte >= 'A' && byte <= 'E') {
    state_ = State::kGround;
    alt_prefix_ = false;
    return;
  }
  sequence_ = "[[";
  DropSequence(byte);
}

void KeyDecoder::FinishSequence(std::uint8_t final_byte) {
  state_ = State::kGround;
  if (!overlong_ && sequence_ == "[M" && final_byte == 'M') {
    // An X10 mouse report: three raw bytes follow.
    state_ = State::kMouseReport;
    mouse_bytes_left_ = 3;
    mouse_after_lead_ = false;
    return;
  }
  const std::optional<Action> action =
      overlong_ ? std::nullopt : Recognise(std::string_view(sequence_));
  if (!action) {
    Unrecognised();
    return;
  }
  const bool alt = alt_prefix_;
  alt_prefix_ = false;
  if (alt) return;  // Alt with an editing key does nothing
  if (action->kind == Action::Kind::kKey) Deliver(action->key);
  if (action->kind == Action::Kind::kCharacter) DeliverCharacter(action->code);
}

// From a keyboard, a sequence no row knows is some other key: dropped. From
// a pipe, it was never a sequence: Esc is the Esc key and the rest are keys.
void KeyDecoder::Unrecognised() {
  state_ = State::kGround;
  if (source_ == KeySource::kKeyboard) {
    alt_prefix_ = false;
    return;
  }
  const std::string bytes = std::move(sequence_);
  sequence_.clear();
  DeliverCharacter(control::kEscape);
  for (const char byte : bytes) FeedGround(static_cast<std::uint8_t>(byte));
}

// A byte that no sequence may hold cuts this one short; it is then read as
// if it came alone.
void KeyDecoder::DropSequence(std::uint8_t cut_by) {
  Unrecognised();
  FeedGround(cut_by);
}

void KeyDecoder::FeedMouseReport(std::uint8_t byte) {
  // After the last coordinate only the second byte of its UTF-8 form may come:
  // any other byte shows that coordinate was a lone byte, and is a key.
  const bool after_report = mouse_bytes_left_ == 0 && (byte & 0xC0) != 0x80;
  if (IsControl(byte) || after_report) {
    state_ = State::kGround;
    FeedGround(byte);
    return;
  }
  // A coordinate past 95 may come as two UTF-8 bytes; the second is no coordinate.
  if ((byte & 0xC0) == 0x80 && mouse_after_lead_) {
    mouse_after_lead_ = false;
    if (mouse_bytes_left_ == 0) state_ = State::kGround;
    return;
  }
  mouse_after_lead_ = byte >= 0xC2 && byte <= 0xDF;
  if (--mouse_bytes_left_ == 0 && !mouse_after_lead_) state_ = State::kGround;
}

void KeyDecoder::SettleEscape() {
  DeliverCharacter(control::kEscape);
  if (alt_prefix_) DeliverCharacter(control::kEscape);
  alt_prefix_ = false;
  state_ = State::kGround;
}

void KeyDecoder::StartUtf8(std::uint8_t byte, bool discard) {
  discard_character_ = discard;
  if (byte >= 0xC2 && byte <= 0xDF) {
    continuation_bytes_left_ = 1;
    code_point_ = byte & 0x1F;
    smallest_code_point_ = 0x80;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    continuation_bytes_left_ = 2;
    code_point_ = byte & 0x0F;
    smallest_code_point_ = 0x800;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    continuation_bytes_left_ = 3;
    code_point_ = byte & 0x07;
    smallest_code_point_ = 0x10000;
  } else {
    state_ = State::kGround;  // not a lead byte: malformed, refused
    return;
  }
  state_ = State::kUtf8;
}

void KeyDecoder::FeedUtf8(std::uint8_t byte) {
  if ((byte & 0xC0) != 0x80) {
    // The character was cut short: it is refused and the byte starts afresh.
    state_ = State::kGround;
    FeedGround(byte);
    return;
  }
  code_point_ = (code_point_ << 6) | (byte & 0x3F);
  if (--continuation_bytes_left_ > 0) return;
  state_ = State::kGround;
  if (discard_character_) return;
  if (code_point_ < smallest_code_point_) return;  // over-long form: malformed
  if (const auto code = UnicodeToCp850(code_point_)) DeliverCharacter(*code);
}

void KeyDecoder::Expire() {
  if (state_ == State::kEscape) SettleEscape();
}

void KeyDecoder::EndOfInput() {
  switch (state_) {
    case State::kEscape:
      SettleEscape();
      break;
    case State::kCsi:
    case State::kSs3:
    case State::kLinuxFunction:
      if (state_ == State::kLinuxFunction) sequence_ = "[[";
      Unrecognised();
      break;
    default:
      state_ = State::kGround;
      break;
  }
}

void KeyDecoder::DeliverCharacter(std::uint8_t code) {
  keys_.push_back(Key{Key::Kind::kCharacter, code});
}

Key KeyDecoder::TakeKey() {
  const Key key = keys_.front();
  keys_.pop_front();
  return key;
}

}  // namespace pagiste
