#include "console/key_decoder.hpp"

#include <array>
#include <charconv>

#include "base/control_codes.hpp"
#include "base/cp850.hpp"

namespace pagiste {
namespace {

bool IsFinalByte(std::uint8_t byte) {
  return byte >= 0x40 && byte <= 0x7E;
}

// The xterm modifier parameter (1 + Shift 1 + Alt 2 + Ctrl 4 + Meta 8):
// Shift alone keeps the key, anything else makes it a key that does nothing.
bool PlainOrShift(int modifier) {
  return modifier <= 2;
}

struct Parameters {
  int first = 1;
  int modifier = 1;
  bool private_marker = false;
};

Parameters ParseParameters(const std::string& text) {
  Parameters parsed;
  if (!text.empty() && (text[0] < '0' || text[0] > ';')) parsed.private_marker = true;
  const char* cursor = text.data();
  const char* end = text.data() + text.size();
  const std::array<int*, 2> targets = {&parsed.first, &parsed.modifier};
  for (int* target : targets) {
    if (cursor >= end) break;
    const auto result = std::from_chars(cursor, end, *target);
    cursor = result.ptr;
    if (cursor < end && *cursor == ';')
      ++cursor;
    else
      break;
  }
  return parsed;
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
      // The Linux console's F1-F5 are ESC [ [ A..E: one more byte to drop.
      state_ = State::kGround;
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
  } else if (byte >= 0x80) {
    StartUtf8(byte, false);
  } else if (byte == control::kDelete) {
    DeliverCharacter(control::kBackspace);  // what most terminals send for Backspace
  } else if (byte != 0) {
    DeliverCharacter(byte);
  }
}

void KeyDecoder::FeedEscape(std::uint8_t byte) {
  parameters_.clear();
  if (byte == '[') {
    state_ = State::kCsi;
  } else if (byte == 'O') {
    state_ = State::kSs3;
  } else if (byte == control::kEscape) {
    // Esc pressed twice: the first one is a key of its own.
    DeliverCharacter(control::kEscape);
  } else if (byte >= 0x80) {
    StartUtf8(byte, true);
  } else {
    state_ = State::kGround;  // Alt + an ASCII key: ignored
  }
}

void KeyDecoder::FeedSequence(std::uint8_t byte) {
  if (state_ == State::kCsi && parameters_.empty() && byte == '[') {
    state_ = State::kLinuxFunction;
    return;
  }
  if (IsFinalByte(byte)) {
    const bool ss3 = state_ == State::kSs3;
    state_ = State::kGround;
    FinishSequence(byte, ss3);
  } else if (byte >= 0x20 && byte < 0x40) {
    parameters_.push_back(static_cast<char>(byte));
  } else {
    // Not part of any sequence (a control code or a stray byte): the sequence
    // is dropped and the byte read as if it came alone.
    state_ = State::kGround;
    FeedGround(byte);
  }
}

void KeyDecoder::FinishSequence(std::uint8_t final_byte, bool ss3) {
  const Parameters parsed = ParseParameters(parameters_);
  if (parsed.private_marker || !PlainOrShift(parsed.modifier)) return;
  switch (final_byte) {
    case 'H':
      Deliver(Key::Kind::kHome);
      break;
    case 'F':
      Deliver(Key::Kind::kEnd);
      break;
    case 'D':
      Deliver(Key::Kind::kLeft);
      break;
    case 'C':
      Deliver(Key::Kind::kRight);
      break;
    case 'M':
      // Keypad Enter in application mode (ESC O M); ESC [ M is something else.
      if (ss3) DeliverCharacter(control::kCarriageReturn);
      break;
    case '~':
      if (parsed.first == 1 || parsed.first == 7) Deliver(Key::Kind::kHome);
      if (parsed.first == 4 || parsed.first == 8) Deliver(Key::Kind::kEnd);
      break;
    default:
      break;
  }
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
  if (state_ != State::kEscape) return;
  state_ = State::kGround;
  DeliverCharacter(control::kEscape);
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
