#include "page/page_name.hpp"

#include <cerrno>

#include "base/cp850.hpp"

namespace pagiste {

namespace {

constexpr std::string_view kPagesFolder = "../personnes/";

bool IsSeparator(char byte) {
  return byte == '/' || byte == '\\';
}

// Whether a folder separated part of the name is "..".
bool ClimbsOut(std::string_view name) {
  std::size_t start = 0;
  for (std::size_t end = 0; end <= name.size(); ++end) {
    if (end < name.size() && !IsSeparator(name[end])) continue;
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string PageFileName(const Personne& personne) {
  return std::string(kPagesFolder) + personne.Prenom + " " + personne.Nom + ".htm";
}

std::optional<std::string> FileSystemPath(std::string_view cp850_path) {
  if (cp850_path.size() > kMaxPathLength) return std::nullopt;
  std::string_view name = cp850_path;
  if (name.starts_with(kPagesFolder)) name.remove_prefix(kPagesFolder.size());
  if (ClimbsOut(name)) return std::nullopt;
  std::string path;
  for (const char byte : cp850_path) {
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
    case ENXIO:  // a FIFO that nobody reads
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

}  // namespace pagiste
