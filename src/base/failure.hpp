// How a failed input or output statement ends the run: CheckIo right after
// the statement raises a Failure, which only the run sequence catches.
#pragma once

#include <cstdint>

#include "base/failure_code.hpp"

namespace pagiste {

struct Failure {
  FailureCode code;
  std::uintptr_t location;  // relative to the program's load address
};

// Raises a Failure located just after the call, unless code is kNoFailure.
[[gnu::noinline]] void CheckIo(FailureCode code);

// A code address relative to the program's load address.
std::uintptr_t ProgramOffset(const void* address);
// The call that returns to return_address, as the report gives it.
std::uintptr_t CallSite(const void* return_address);

}  // namespace pagiste
