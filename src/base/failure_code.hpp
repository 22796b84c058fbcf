// The number a failed input or output operation leaves behind; 0 is success.
#pragma once

#include <cstdint>

namespace pagiste {

using FailureCode = std::uint16_t;

inline constexpr FailureCode kNoFailure = 0;
inline constexpr FailureCode kInvalidFilename = 3;
inline constexpr FailureCode kTooManyOpenFiles = 4;
inline constexpr FailureCode kAccessDenied = 5;
inline constexpr FailureCode kReadPastEndOfFile = 100;
inline constexpr FailureCode kDiskFull = 101;
// The number the console platform the program comes from gives a name its
// file system refuses (ERROR_INVALID_NAME); the report shows it as such.
inline constexpr FailureCode kInvalidName = 123;
// Reported as "Out of memory": the heap could not grow.
inline constexpr FailureCode kOutOfMemory = 203;

// A system error number with no code of its own is carried with this bit set,
// so that the report shows that number and never the message of a listed
// code that happens to share it.
inline constexpr FailureCode kUnlistedSystemError = 0x8000;

constexpr FailureCode UnlistedSystemError(int error_number) {
  return static_cast<FailureCode>(kUnlistedSystemError | (error_number & 0x7FFF));
}

}  // namespace pagiste
