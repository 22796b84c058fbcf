#include "page/page_name.hpp"

#include <cerrno>

#include "base/cp850.hpp"

namespace pagiste {

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

}  // namespace pagiste
