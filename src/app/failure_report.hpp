// The five-line failure report that ends a run whose input or output failed.
#pragma once

#include <cstdint>
#include <string>

#include "base/failure.hpp"

namespace pagiste {

inline constexpr int kExitFailureReport = 217;

// The message the report shows for a code.
std::string FailureMessage(FailureCode code);

// The report's five lines, each ended by CR LF.
std::string FailureReportText(const Failure& failure, std::uintptr_t caller);

// Writes the report to standard output and ends the process with status 217.
[[noreturn]] void FailureReport(const Failure& failure, std::uintptr_t caller);

}  // namespace pagiste
