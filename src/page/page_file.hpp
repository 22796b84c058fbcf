// The page file on disk. The page is written into a new file beside it and
// renamed over the old one only once complete, so a failure (or an ending
// signal) never leaves a half-written page or loses the earlier one.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "app/failure_code.hpp"
#include "app/personne.hpp"

namespace pagiste {

inline constexpr std::size_t kMaxPathLength = 255;
inline constexpr std::size_t kPageBufferSize = 256;

// "../personnes/" + first name + " " + family name + ".htm", in code page 850.
std::string PageFileName(const Personne& personne);

// The name the file system gets: cut to 255 characters, every backslash a
// folder separator, in UTF-8.
std::string FileSystemPath(std::string_view cp850_path);

// The failure code for a system error number met while creating the page.
FailureCode CreationFailure(int error_number);

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
  [[nodiscard]] FailureCode Append(std::string_view text);
  [[nodiscard]] FailureCode Store(std::size_t size);
  void Discard();

  std::string path_;
  std::string unfinished_path_;
  int fd_ = -1;
  std::array<char, kPageBufferSize> buffer_{};
  std::size_t used_ = 0;
};

// Async-signal-safe: removes a page still being written, if any.
void RemoveUnfinishedPageNow();

}  // namespace pagiste
