// The thin layer between the console and the terminal device: file
// descriptors, terminal modes, and the blocking reads and writes.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/emergency_undo.hpp"
#include "console/window.hpp"

namespace pagiste {

// Where the console draws and reads, as found at start-up.
struct ConsoleHandles {
  int output_fd = -1;
  bool owns_output_fd = false;  // the terminal device opened because standard output is not one
  int input_fd = 0;
  bool input_is_terminal = false;
  WindowSize size;
  // Whether the terminal erases in the current background colour, as its
  // terminfo entry says (the bce capability); unknown counts as no.
  bool erases_in_colour = false;
};

// Finds the terminal to draw on and the keyboard to read; on failure writes
// the reason to standard error and gives nothing.
std::optional<ConsoleHandles> OpenConsole();

class TerminalDevice {
 public:
  // Puts the terminal in the modes the console needs, and registers how to
  // put it back should a signal end the process.
  explicit TerminalDevice(const ConsoleHandles& handles);
  ~TerminalDevice();
  TerminalDevice(const TerminalDevice&) = delete;
  TerminalDevice& operator=(const TerminalDevice&) = delete;
  TerminalDevice(TerminalDevice&&) = delete;
  TerminalDevice& operator=(TerminalDevice&&) = delete;

  // All of it in one write() when the terminal takes it at once.
  void Send(std::string_view bytes) const;

  enum class ReadResult : std::uint8_t { kBytes, kTimeout, kResized, kEnd };
  // Blocks until bytes arrive, the timeout (if any) passes, the window
  // changes size, or input ends.
  ReadResult Read(std::string& bytes, std::optional<std::chrono::milliseconds> timeout) const;

  // The window's size now; the last one known when it cannot be read.
  [[nodiscard]] WindowSize Size();

  // Modes, colours, autowrap and cursor back as they were; safe to repeat.
  void Restore();

 private:
  void WatchWindowSize();

  ConsoleHandles handles_;
  emergency::Slot restore_slot_ = emergency::kNone;
  sigset_t wait_mask_{};  // the signal mask while waiting: window changes let through
};

}  // namespace pagiste
