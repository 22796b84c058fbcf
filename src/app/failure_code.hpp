// The number a failed input or output operation leaves behind; 0 is success.
#pragma once

#include <cstdint>

namespace pagiste {

using FailureCode = std::uint16_t;

inline constexpr FailureCode kNoFailure = 0;
inline constexpr FailureCode kFileNotFound = 2;
inline constexpr FailureCode kInvalidFilename = 3;
inline constexpr FailureCode kTooManyOpenFiles = 4;
inline constexpr FailureCode kAccessDenied = 5;
inline constexpr FailureCode kReadPastEndOfFile = 100;
inline constexpr FailureCode kDiskFull = 101;

}  // namespace pagiste
