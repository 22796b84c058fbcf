#include "terminals/terminal_session.hpp"

#include <unistd.h>

namespace pagiste::testing {

std::string UniqueName(std::string_view prefix) {
  static int counter = 0;
  return std::string(prefix) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

}  // namespace pagiste::testing
