// Turns the bytes a terminal sends for the keyboard (UTF-8 text, control
// codes, escape sequences) into keys. Pure: no I/O and no clock. The caller
// feeds bytes and, when no byte has followed a lone Esc for a short while,
// calls Expire(); at the end of input, EndOfInput().
//
// Every escape sequence a terminal sends for a key is either recognised (a
// row of the dialect table: the key it stands for, or nothing) or, from a
// keyboard, consumed whole and dropped. A sequence never types anything and
// never swallows the key after it: a control byte that cuts one short is a
// key of its own.
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

// Where the bytes come from. A keyboard has Alt, sent as an Esc before the
// key; text piped in has none, so there an Esc is always the Esc key, and
// what follows it is a sequence only when it spells a recognised one whole.
enum class KeySource : std::uint8_t { kKeyboard, kPipe };

class KeyDecoder {
 public:
  explicit KeyDecoder(KeySource source = KeySource::kKeyboard) : source_(source) {}

  void Feed(std::uint8_t byte);
  void Feed(const std::string& bytes) {
    for (const char byte : bytes) Feed(static_cast<std::uint8_t>(byte));
  }

  // True while an Esc waits to learn whether a sequence follows it.
  [[nodiscard]] bool AwaitsMore() const { return state_ == State::kEscape; }
  // No further byte came in time: a pending Esc is the Esc key.
  void Expire();
  // No byte will ever come: whatever is pending is settled now.
  void EndOfInput();

  [[nodiscard]] bool HasKey() const { return !keys_.empty(); }
  Key TakeKey();

  // The longest sequence kept whole; a longer one is no key of any terminal.
  static constexpr std::size_t kMaxSequenceLength = 32;

 private:
  enum class State : std::uint8_t {
    kGround,
    kEscape,
    kCsi,
    kSs3,
    kLinuxFunction,
    kMouseReport,
    kUtf8,
  };

  void FeedGround(std::uint8_t byte);
  void FeedEscape(std::uint8_t byte);
  void FeedSequence(std::uint8_t byte);
  void FeedLinuxFunction(std::uint8_t byte);
  void FeedMouseReport(std::uint8_t byte);
  void FeedUtf8(std::uint8_t byte);
  void StartUtf8(std::uint8_t byte, bool discard);
  void StartSequence(State state, std::uint8_t introducer);
  void FinishSequence(std::uint8_t final_byte);
  void Unrecognised();
  void DropSequence(std::uint8_t cut_by);
  void SettleEscape();
  void DeliverCharacter(std::uint8_t code);
  void Deliver(Key::Kind kind) { keys_.push_back(Key{kind, 0}); }

  KeySource source_;
  bool after_carriage_return_ = false;
  State state_ = State::kGround;
  bool alt_prefix_ = false;  // an Esc came before this sequence's own Esc
  std::string sequence_;     // the bytes after Esc, up to kMaxSequenceLength
  bool overlong_ = false;    // more came than sequence_ keeps
  int mouse_bytes_left_ = 0;
  bool mouse_after_lead_ = false;  // a coordinate in two UTF-8 bytes is half read
  char32_t code_point_ = 0;
  char32_t smallest_code_point_ = 0;
  int continuation_bytes_left_ = 0;
  bool discard_character_ = false;  // Alt + a character: read whole, then dropped
  std::deque<Key> keys_;
};

}  // namespace pagiste
