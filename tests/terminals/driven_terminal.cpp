#include "terminals/driven_terminal.hpp"

namespace pagiste::testing {

GridScreen DrivenTerminal::WaitFor(const std::function<bool(const GridScreen&)>& condition,
                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    GridScreen screen = Screen();
    if (condition(screen) || std::chrono::steady_clock::now() >= deadline) return screen;
    Idle();
  }
}

}  // namespace pagiste::testing
