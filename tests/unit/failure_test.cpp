#include <gtest/gtest.h>

#include <vector>

#include "app/failure_report.hpp"

namespace pagiste {
namespace {

TEST(FailureMessage, KnownCodesAndTheFormatForTheRest) {
  const std::vector<std::pair<FailureCode, const char*>> table = {
      {1, "Out of memory"},
      {3, "Invalid filename"},
      {5, "Access denied"},
      {100, "Read past end of file"},
      {101, "Disk Full"},
      {203, "Out of memory"},
      {227, "Assertion failed"},
      {15, "Unknown Run-Time error : 015"},
      {104, "Unknown Run-Time error : 104"},
      {123, "Unknown Run-Time error : 123"},
      {150, "Unknown Run-Time error : 150"},
      {999, "Unknown Run-Time error : 999"},
      // A system error number that shares a listed code shows its own number.
      {UnlistedSystemError(5), "Unknown Run-Time error : 005"},
      {UnlistedSystemError(101), "Unknown Run-Time error : 101"},
      {UnlistedSystemError(19), "Unknown Run-Time error : 019"},
  };
  for (const auto& [code, message] : table) EXPECT_EQ(FailureMessage(code), message) << code;
}

TEST(FailureReport, FiveLinesEndedByCrLfWithTheLocationTwice) {
  const std::string report = FailureReportText(Failure{3, 0x1A2B}, 0xDEADBEEF0042);
  EXPECT_EQ(report,
            "An unhandled exception occurred at 0x00001A2B :\r\n"
            "Invalid filename\r\n"
            "  0x00001A2B\r\n"
            "  0xBEEF0042\r\n"
            "\r\n");
}

TEST(CheckIo, SuccessPassesAndAFailureCarriesItsCodeAndAPlaceInThisProgram) {
  EXPECT_NO_THROW(CheckIo(kNoFailure));
  try {
    CheckIo(kReadPastEndOfFile);
    FAIL() << "no failure raised";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.code, kReadPastEndOfFile);
    const std::uintptr_t here = ProgramOffset(reinterpret_cast<const void*>(&FailureMessage));
    EXPECT_GT(failure.location, 0U);
    EXPECT_LT(failure.location, here + (64U << 20));  // inside the program's image
  }
}

}  // namespace
}  // namespace pagiste
