// A real terminal program running the questionnaire, driven as a user would:
// keys typed as the terminal itself sends them, the window resized, the
// screen read back cell by cell with colours and cursor.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "terminals/grid_screen.hpp"

namespace pagiste::testing {

enum class Key { kHome, kEnd, kLeft, kRight, kEscape, kEnter };

class DrivenTerminal {
 public:
  DrivenTerminal() = default;
  virtual ~DrivenTerminal() = default;
  DrivenTerminal(const DrivenTerminal&) = delete;
  DrivenTerminal& operator=(const DrivenTerminal&) = delete;
  DrivenTerminal(DrivenTerminal&&) = delete;
  DrivenTerminal& operator=(DrivenTerminal&&) = delete;

  // Text typed on the keyboard (UTF-8).
  virtual void Type(std::string_view text) = 0;
  // Keys pressed one right after the other, as fast as the terminal sends them.
  virtual void Press(std::initializer_list<Key> keys) = 0;
  // The window gets this many columns and rows; the program is told.
  virtual void Resize(int columns, int rows) = 0;
  // The screen as shown now.
  virtual GridScreen Screen() = 0;
  // A picture of the window kept beside the test results, when the terminal
  // draws one.
  virtual void KeepPicture(const std::string& name) = 0;
  // Waits for the program's end: its exit status, or 128 + the signal.
  virtual int Finish() = 0;
  // Where the page lands.
  [[nodiscard]] virtual std::string Pages() const = 0;

  // Reads the screen until it satisfies the condition; gives the last one read.
  GridScreen WaitFor(const std::function<bool(const GridScreen&)>& condition,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

 protected:
  // Time for the program and terminal to move on between two readings.
  virtual void Idle() = 0;
};

}  // namespace pagiste::testing
