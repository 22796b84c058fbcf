// The page file on disk. The page is written into a new file beside it and
// renamed over the old one only once complete, so a failure (or an ending
// signal) never leaves a half-written page or loses the earlier one. The new
// page keeps what users rely on in the old one: its permissions, its owner
// and group where the process may set them, and a symbolic link (its target
// is replaced). Where the folder refuses a new file but the page itself may
// be written, the page is rewritten in place, which cannot keep the old page
// should the writing fail half way.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <optional>
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
  [[nodiscard]] FailureCode OpenInPlace();
  [[nodiscard]] FailureCode TakeOverLooks();
  [[nodiscard]] FailureCode Append(std::string_view text);
  [[nodiscard]] FailureCode Store(std::size_t size);
  [[nodiscard]] FailureCode StoreRestAndClose();
  [[nodiscard]] FailureCode PutInPlace();
  [[nodiscard]] FailureCode RewriteInPlace();
  void Discard();

  std::string path_;                    // the page itself, links resolved
  std::optional<struct stat> earlier_;  // the earlier page, when there is one
  std::string unfinished_path_;         // empty when writing in place
  emergency::Slot removal_ = emergency::kNone;
  int fd_ = -1;
  std::array<char, kPageBufferSize> buffer_{};
  std::size_t used_ = 0;
  std::string written_;  // the whole page so far, should it have to be written again in place
};

}  // namespace pagiste
