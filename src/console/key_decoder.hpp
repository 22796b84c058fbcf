// Turns the bytes a terminal sends for the keyboard (UTF-8 text, control
// codes, escape sequences) into keys. Pure: no I/O and no clock. The caller
// feeds bytes and, when no byte has followed a lone Esc for a short while,
// calls Expire().
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace pagiste {

struct Key {
  enum class Kind : std::uint8_t { kCharacter, kHome, kLeft, kRight, kEnd };
  Kind kind = Kind::kCharacter;
  std::uint8_t code = 0;  // the code page 850 character, for kCharacter
  friend bool operator==(const Key&, const Key&) = default;
};

// Where the bytes come from: a terminal's keyboard, or text piped in.
enum class KeySource : std::uint8_t { kKeyboard, kPipe };

class KeyDecoder {
 public:
  explicit KeyDecoder(KeySource source = KeySource::kKeyboard) : source_(source) {}

  void Feed(std::uint8_t byte);
  void Feed(const std::string& bytes) {
    for (const char byte : bytes) Feed(static_cast<std::uint8_t>(byte));
  }

  // True while a lone Esc waits to learn whether a sequence follows it.
  [[nodiscard]] bool AwaitsMore() const { return state_ == State::kEscape; }
  // No further byte came in time: a pending Esc is the Esc key.
  void Expire();

  [[nodiscard]] bool HasKey() const { return !keys_.empty(); }
  Key TakeKey();

 private:
  enum class State : std::uint8_t { kGround, kEscape, kCsi, kSs3, kLinuxFunction, kUtf8 };

  void FeedGround(std::uint8_t byte);
  void FeedEscape(std::uint8_t byte);
  void FeedSequence(std::uint8_t byte);
  void FeedUtf8(std::uint8_t byte);
  void StartUtf8(std::uint8_t byte, bool discard);
  void FinishSequence(std::uint8_t final_byte, bool ss3);
  void DeliverCharacter(std::uint8_t code);
  void Deliver(Key::Kind kind) { keys_.push_back(Key{kind, 0}); }

  KeySource source_;
  bool after_carriage_return_ = false;
  State state_ = State::kGround;
  std::string parameters_;  // parameter and intermediate bytes of the sequence
  char32_t code_point_ = 0;
  char32_t smallest_code_point_ = 0;
  int continuation_bytes_left_ = 0;
  bool discard_character_ = false;  // Alt + a character: read whole, then dropped
  std::deque<Key> keys_;
};

}  // namespace pagiste
