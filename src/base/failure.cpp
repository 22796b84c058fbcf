#include "base/failure.hpp"

// Set by the linker at the first byte of the program's image.
extern "C" const char __executable_start[];  // NOLINT(bugprone-reserved-identifier)

namespace pagiste {

std::uintptr_t ProgramOffset(const void* address) {
  return reinterpret_cast<std::uintptr_t>(address) -
         reinterpret_cast<std::uintptr_t>(&__executable_start[0]);
}

// A return address minus one lies inside the call instruction, so that
// addr2line names the calling statement rather than the one after it.
std::uintptr_t CallSite(const void* return_address) {
  return ProgramOffset(return_address) - 1;
}

void CheckIo(FailureCode code) {
  if (code == kNoFailure) return;
  throw Failure{code, CallSite(__builtin_return_address(0))};
}

}  // namespace pagiste
