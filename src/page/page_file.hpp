// The page file on disk. The page is written into a new file beside it and
// renamed over the old one only once complete, so a failure (or an ending
// signal) never leaves a half-written page or loses the earlier one.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/emergency_undo.hpp"
#include "base/failure_code.hpp"

namespace pagiste {

inline constexpr std::size_t kPageBufferSize = 256;

class PageFile {
 public:
  PageFile() = default;
  ~PageFile();  // an unfinished page is removed
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;
  PageFile(PageFile&&) = delete;
  PageFile& operator=(PageFile&&) = delete;

  [[nodiscard]] FailureCode Create(const std::string& path);
  // One line and its CR LF, through the 256-byte buffer.
  [[nodiscard]] FailureCode WriteLine(std::string_view line);
  // Stores the rest, and puts the finished page in place of any earlier one.
  [[nodiscard]] FailureCode Close();

 private:
  [[nodiscard]] FailureCode OpenUnfinished(const std::string& folder);
  [[nodiscard]] FailureCode Append(std::string_view text);
  [[nodiscard]] FailureCode Store(std::size_t size);
  void Discard();

  std::string path_;
  std::string unfinished_path_;
  emergency::Slot removal_ = emergency::kNone;
  int fd_ = -1;
  std::array<char, kPageBufferSize> buffer_{};
  std::size_t used_ = 0;
};

}  // namespace pagiste
