// The page's name on disk, and what a refusal from the file system means.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/failure_code.hpp"
#include "base/personne.hpp"

namespace pagiste {

inline constexpr std::size_t kMaxPathLength = 255;

// "../personnes/" + first name + " " + family name + ".htm", in code page 850.
std::string PageFileName(const Personne& personne);

// The name the file system gets: every backslash a folder separator, in
// UTF-8. Nothing when the name may not be used: longer than 255 characters
// (cutting it would lose ".htm" and land the page under another name), or
// holding a ".." that climbs out of the pages' folder.
std::optional<std::string> FileSystemPath(std::string_view cp850_path);

// The failure code for a system error number met while creating the page.
FailureCode CreationFailure(int error_number);

}  // namespace pagiste
