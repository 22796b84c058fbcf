#include "page/page_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "console/cp850.hpp"

namespace pagiste {
namespace {

// The unfinished page's name, where a signal handler can reach it.
std::array<char, PATH_MAX> g_unfinished_page{};
volatile sig_atomic_t g_has_unfinished_page = 0;

void RememberUnfinished(const std::string& path) {
  if (path.size() >= g_unfinished_page.size()) return;
  std::memcpy(g_unfinished_page.data(), path.c_str(), path.size() + 1);
  g_has_unfinished_page = 1;
}

void ForgetUnfinished() {
  g_has_unfinished_page = 0;
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

}  // namespace

std::string PageFileName(const Personne& personne) {
  return "../personnes/" + personne.Prenom + " " + personne.Nom + ".htm";
}

std::string FileSystemPath(std::string_view cp850_path) {
  std::string path;
  for (const char byte : cp850_path.substr(0, kMaxPathLength)) {
    AppendUtf8(path, byte == '\\' ? U'/' : Cp850ToUnicode(static_cast<std::uint8_t>(byte)));
  }
  return path;
}

FailureCode CreationFailure(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      return kInvalidFilename;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kAccessDenied;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case ENAMETOOLONG:
    case EILSEQ:
    case EINVAL:
      return kInvalidName;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kDiskFull;
    default:
      return UnlistedSystemError(error_number);
  }
}

PageFile::~PageFile() {
  Discard();
}

void PageFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!unfinished_path_.empty()) ::unlink(unfinished_path_.c_str());
  unfinished_path_.clear();
  ForgetUnfinished();
}

FailureCode PageFile::Create(const std::string& path) {
  if (const FailureCode refused = CheckExistingPage(path); refused != kNoFailure) return refused;
  path_ = path;
  const std::string folder = FolderOf(path);
  for (int attempt = 0; fd_ < 0; ++attempt) {
    std::array<char, 64> name{};
    std::snprintf(name.data(), name.size(), "/.pagiste-%ld-%d.tmp", static_cast<long>(::getpid()),
                  attempt);
    unfinished_path_ = folder + name.data();
    // Registered before it exists, so that no moment leaves it unknown to the signal handler.
    RememberUnfinished(unfinished_path_);
    fd_ = ::open(unfinished_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) {
      const FailureCode failure = CreationFailure(errno);
      unfinished_path_.clear();
      ForgetUnfinished();
      return failure;
    }
  }
  used_ = 0;
  return kNoFailure;
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
  if (::rename(unfinished_path_.c_str(), path_.c_str()) != 0) return CreationFailure(errno);
  unfinished_path_.clear();
  ForgetUnfinished();
  return kNoFailure;
}

void RemoveUnfinishedPageNow() {
  if (g_has_unfinished_page != 0) ::unlink(g_unfinished_page.data());
}

}  // namespace pagiste
