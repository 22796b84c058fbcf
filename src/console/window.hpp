// Places and sizes on the console's window, counted from 1 at its top left.
#pragma once

namespace pagiste {

struct Position {
  int column = 1;
  int row = 1;
  friend bool operator==(const Position&, const Position&) = default;
};

struct WindowSize {
  int columns = 80;
  int rows = 25;
  friend bool operator==(const WindowSize&, const WindowSize&) = default;
};

}  // namespace pagiste
