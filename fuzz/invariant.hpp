// What the fuzz targets share: a broken invariant stops the run with a message
// that names the rule and shows the case, so that libFuzzer keeps the input.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace pagiste::fuzz {

[[noreturn]] inline void Broken(std::string_view rule, const std::string& details) {
  std::fprintf(stderr, "\nBROKEN INVARIANT: %.*s\n%s\n", static_cast<int>(rule.size()), rule.data(),
               details.c_str());
  std::abort();
}

// The bytes as C string text: printable ASCII as is, everything else escaped.
inline std::string Escaped(std::string_view bytes) {
  static constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
      text += c;
    } else {
      text += "\\x";
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    }
  }
  return text + "\"";
}

// The fuzzer's input read front to back; past its end every byte reads as 0.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  [[nodiscard]] bool AtEnd() const { return at_ >= size_; }
  // Up to count bytes, fewer at the end of the input.
  std::string_view Bytes(std::size_t count) {
    const std::size_t taken = std::min(count, size_ - std::min(at_, size_));
    const std::string_view bytes(reinterpret_cast<const char*>(data_) + at_, taken);
    at_ += taken;
    return bytes;
  }
  std::string_view Rest() { return Bytes(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace pagiste::fuzz
