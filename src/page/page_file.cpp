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

// The file a chain of symbolic links ends at (which may not exist yet), so
// that the link stays and its target gets the new page.
std::string ResolveLinks(std::string path) {
  constexpr int kMaxLinks = 40;  // as the kernel allows
  for (int link = 0; link < kMaxLinks; ++link) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (length <= 0) return path;
    const std::string to(target.data(), static_cast<std::size_t>(length));
    if (to.front() == '/') {
      path = to;
    } else {
      path = FolderOf(path);
      path += '/';
      path += to;
    }
  }
  return path;  // a loop: opening it gives the system's own error
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd = -1;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// A call made again when a signal whose handler returns (the kernel's
// hang-up) interrupts it.
template <typename Call>
int RetryingInterrupted(Call call) {
  int result = 0;
  do {
    result = call();
  } while (result != 0 && errno == EINTR);
  return result;
}

std::string UnfinishedPath(const std::string& folder, int attempt) {
  std::array<char, 64> name{};
  std::snprintf(name.data(), name.size(), "/.pagiste-%ld-%d.tmp", static_cast<long>(::getpid()),
                attempt);
  return folder + name.data();
}

// Refusals that a rewrite in place may still get round: the folder's, not the page's.
bool FolderRefused(int error_number) {
  return error_number == EACCES || error_number == EPERM;
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
  path_ = ResolveLinks(path);
  // Is an existing page one this program may write? Opening it for writing
  // (without truncating) asks the system exactly that.
  const int check = OpenRetrying(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (check < 0 && errno != ENOENT) return CreationFailure(errno);
  if (check >= 0) {
    struct stat status {};
    if (::fstat(check, &status) == 0) earlier_ = status;
    ::close(check);
  }
  used_ = 0;
  written_.clear();
  const FailureCode failure = OpenUnfinished(FolderOf(path_));
  if (failure == kAccessDenied && earlier_) return OpenInPlace();
  if (failure != kNoFailure) return failure;
  return TakeOverLooks();
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

// The new page gets the earlier one's owner, group and permissions (the
// owner first: changing it clears the set-user-ID bit).
FailureCode PageFile::TakeOverLooks() {
  if (!earlier_) return kNoFailure;
  if (RetryingInterrupted([&] { return ::fchown(fd_, earlier_->st_uid, earlier_->st_gid); }) != 0) {
    // Not ours to give away: keep at least the group, where it is one of ours.
    if (errno != EPERM) return CreationFailure(errno);
    if (RetryingInterrupted(
            [&] { return ::fchown(fd_, static_cast<uid_t>(-1), earlier_->st_gid); }) != 0 &&
        errno != EPERM)
      return CreationFailure(errno);
  }
  if (RetryingInterrupted([&] { return ::fchmod(fd_, earlier_->st_mode & 07777); }) != 0)
    return CreationFailure(errno);
  return kNoFailure;
}

FailureCode PageFile::OpenInPlace() {
  fd_ = OpenRetrying(path_.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
  return fd_ >= 0 ? kNoFailure : CreationFailure(errno);
}

FailureCode PageFile::WriteLine(std::string_view line) {
  if (const FailureCode failure = Append(line); failure != kNoFailure) return failure;
  return Append("\r\n");
}

FailureCode PageFile::Append(std::string_view text) {
  written_ += text;
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

// On disk before it replaces the earlier page, so a crash cannot leave an
// empty one. A close interrupted by a signal has closed all the same.
FailureCode PageFile::StoreRestAndClose() {
  FailureCode failure = used_ > 0 ? Store(used_) : kNoFailure;
  int synced = 0;
  do {
    synced = ::fsync(fd_);
  } while (synced != 0 && errno == EINTR);
  if (failure == kNoFailure && synced != 0) failure = kDiskFull;
  if (::close(fd_) != 0 && errno != EINTR && failure == kNoFailure) failure = kDiskFull;
  fd_ = -1;
  return failure;
}

FailureCode PageFile::Close() {
  if (const FailureCode failure = StoreRestAndClose(); failure != kNoFailure) return failure;
  return unfinished_path_.empty() ? kNoFailure : PutInPlace();
}

FailureCode PageFile::PutInPlace() {
  int renamed = 0;
  {
    const emergency::SignalsBlocked blocked;
    do {
      renamed = ::rename(unfinished_path_.c_str(), path_.c_str());
    } while (renamed != 0 && errno == EINTR);
    if (renamed == 0) {
      emergency::Forget(removal_);
      removal_ = emergency::kNone;
      unfinished_path_.clear();
      return kNoFailure;
    }
  }
  // A sticky folder lets us create our file but not put it over another
  // user's page: that page is rewritten in place, as it may be written.
  const int error_number = errno;
  if (!FolderRefused(error_number) || !earlier_) return CreationFailure(error_number);
  Discard();
  return RewriteInPlace();
}

FailureCode PageFile::RewriteInPlace() {
  if (const FailureCode failure = OpenInPlace(); failure != kNoFailure) return failure;
  const std::string page = std::move(written_);
  written_.clear();
  used_ = 0;
  if (const FailureCode failure = Append(page); failure != kNoFailure) return failure;
  return StoreRestAndClose();
}

}  // namespace pagiste
