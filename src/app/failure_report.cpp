#include "app/failure_report.hpp"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "base/write_all.hpp"

namespace pagiste {
namespace {

constexpr std::array<std::pair<FailureCode, std::string_view>, 24> kMessages = {{
    {1, "Out of memory"},
    {2, "File not found"},
    {3, "Invalid filename"},
    {4, "Too many open files"},
    {5, "Access denied"},
    {6, "Invalid file handle"},
    {100, "Read past end of file"},
    {101, "Disk Full"},
    {102, "File not assigned"},
    {103, "File not open"},
    {105, "File not open for output"},
    {106, "Invalid input"},
    {200, "Division by zero"},
    {201, "Range check error"},
    {203, "Out of memory"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {211, "Abstract method called"},
    {215, "Arithmetic overflow"},
    {216, "Access violation"},
    {219, "Invalid type cast"},
    {227, "Assertion failed"},
}};

std::string Hex8(std::uintptr_t value) {
  std::array<char, 17> digits{};
  std::snprintf(digits.data(), digits.size(), "%08lX",
                static_cast<unsigned long>(value & 0xFFFFFFFFU));
  return digits.data();
}

}  // namespace

std::string FailureMessage(FailureCode code) {
  if ((code & kUnlistedSystemError) != 0) {
    code = static_cast<FailureCode>(code & ~kUnlistedSystemError);
  } else {
    for (const auto& [known, message] : kMessages) {
      if (known == code) return std::string(message);
    }
  }
  std::array<char, 40> text{};
  std::snprintf(text.data(), text.size(), "Unknown Run-Time error : %3.3d", static_cast<int>(code));
  return text.data();
}

std::string FailureReportText(const Failure& failure, std::uintptr_t caller) {
  const std::string location = Hex8(failure.location);
  return "An unhandled exception occurred at 0x" + location + " :\r\n" +
         FailureMessage(failure.code) + "\r\n  0x" + location + "\r\n  0x" + Hex8(caller) +
         "\r\n\r\n";
}

void FailureReport(const Failure& failure, std::uintptr_t caller) {
  const std::string report = FailureReportText(failure, caller);
  // Line by line, each written at once, straight to the standard output handle.
  std::string_view rest = report;
  while (!rest.empty()) {
    const std::size_t line_length = rest.find('\n') + 1;
    WriteAll(STDOUT_FILENO, rest.substr(0, line_length));
    rest.remove_prefix(line_length);
  }
  std::_Exit(kExitFailureReport);
}

}  // namespace pagiste
