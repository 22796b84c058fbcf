// How a failed input or output statement ends the run: CheckIo after the
// statement, and the five-line failure report at the top.
#pragma once

#include <cstdint>
#include <string>

#include "app/failure_code.hpp"

namespace pagiste {

struct Failure {
  FailureCode code;
  std::uintptr_t location;  // relative to the program's load address
};

// Raises a Failure located just after the call, unless code is kNoFailure.
[[gnu::noinline]] void CheckIo(FailureCode code);

// The message the report shows for a code.
std::string FailureMessage(FailureCode code);

// The report's five lines, each ended by CR LF.
std::string FailureReportText(const Failure& failure, std::uintptr_t caller);

// Writes the report to standard output and ends the process with status 217.
[[noreturn]] void FailureReport(const Failure& failure, std::uintptr_t caller);

// A code address relative to the program's load address.
std::uintptr_t ProgramOffset(const void* address);
// The call that returns to return_address, as the report gives it.
std::uintptr_t CallSite(const void* return_address);

}  // namespace pagiste
