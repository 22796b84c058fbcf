#include "page/page_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "page/page_name.hpp"

namespace pagiste {
namespace {

// The unfinished page's name, as the signal handler removes it.
struct UnfinishedName {
  std::array<char, PATH_MAX> path{};
};

void RemoveUnfinished(const UnfinishedName& name) {
  ::unlink(name.path.data());
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Is an existing page one this program may write? Opening it for writing
// (without truncating) asks the system exactly that.
FailureCode CheckExistingPage(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return kNoFailure;
  }
  return errno == ENOENT ? kNoFailure : CreationFailure(errno);
}

std::string UnfinishedPath(const std::string& folder, int attempt) {
  std::array<char, 64> name{};
  std::snprintf(name.data(), name.size(), "/.pagiste-%ld-%d.tmp", static_cast<long>(::getpid()),
                attempt);
  return folder + name.data();
}

}  // namespace

PageFile::~PageFile() {
  Discard();
}

void PageFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  emergency::RunNow(removal_);
  removal_ = emergency::kNone;
  unfinished_path_.clear();
}

FailureCode PageFile::Create(const std::string& path) {
  if (const FailureCode refused = CheckExistingPage(path); refused != kNoFailure) return refused;
  path_ = path;
  used_ = 0;
  return OpenUnfinished(FolderOf(path));
}

// A new file of our own beside the page. Its removal is registered only once
// the file is ours, and in the same breath, so that a signal never removes
// another's file nor leaves ours behind.
FailureCode PageFile::OpenUnfinished(const std::string& folder) {
  for (int attempt = 0;; ++attempt) {
    const std::string candidate = UnfinishedPath(folder, attempt);
    UnfinishedName name;
    if (candidate.size() >= name.path.size()) return kInvalidName;
    std::memcpy(name.path.data(), candidate.c_str(), candidate.size() + 1);
    const emergency::SignalsBlocked blocked;
    fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      unfinished_path_ = candidate;
      removal_ = emergency::Register<UnfinishedName, RemoveUnfinished>(name);
      return kNoFailure;
    }
    if (errno != EEXIST && errno != EINTR) return CreationFailure(errno);
  }
}

FailureCode PageFile::WriteLine(std::string_view line) {
  if (const FailureCode failure = Append(line); failure != kNoFailure) return failure;
  return Append("\r\n");
}

FailureCode PageFile::Append(std::string_view text) {
  // A piece that does not fit fills the buffer up; the full buffer is stored as one block.
  while (text.size() > buffer_.size() - used_) {
    const std::size_t room = buffer_.size() - used_;
    std::copy_n(text.begin(), room, buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
    text.remove_prefix(room);
    used_ = buffer_.size();
    if (const FailureCode failure = Store(used_); failure != kNoFailure) return failure;
  }
  std::copy(text.begin(), text.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
  used_ += text.size();
  return kNoFailure;
}

FailureCode PageFile::Store(std::size_t size) {
  used_ = 0;
  ssize_t written = -1;
  do {
    written = ::write(fd_, buffer_.data(), size);
  } while (written < 0 && errno == EINTR);
  // Any store that fails or falls short means the disk took no more.
  return written == static_cast<ssize_t>(size) ? kNoFailure : kDiskFull;
}

FailureCode PageFile::Close() {
  FailureCode failure = used_ > 0 ? Store(used_) : kNoFailure;
  // On disk before it replaces the earlier page, so a crash cannot leave an empty one.
  if (failure == kNoFailure && ::fsync(fd_) != 0) failure = kDiskFull;
  if (::close(fd_) != 0 && failure == kNoFailure) failure = kDiskFull;
  fd_ = -1;
  if (failure != kNoFailure) return failure;
  const emergency::SignalsBlocked blocked;
  if (::rename(unfinished_path_.c_str(), path_.c_str()) != 0) return CreationFailure(errno);
  emergency::Forget(removal_);
  removal_ = emergency::kNone;
  unfinished_path_.clear();
  return kNoFailure;
}

}  // namespace pagiste
