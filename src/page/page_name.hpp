// The page's name on disk, and what a refusal from the file system means.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/failure_code.hpp"
#include "base/personne.hpp"

namespace pagiste {

inline constexpr std::size_t kMaxPathLength = 255;

// "../personnes/" + first name + " " + family name + ".htm", in code page 850.
std::string PageFileName(const Personne& personne);

// The name the file system gets: cut to 255 characters, every backslash a
// folder separator, in UTF-8.
std::string FileSystemPath(std::string_view cp850_path);

// The failure code for a system error number met while creating the page.
FailureCode CreationFailure(int error_number);

}  // namespace pagiste
