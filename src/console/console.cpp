#include "console/console.hpp"

#include "base/control_codes.hpp"

namespace pagiste {
namespace {

// How long a lone Esc from the keyboard waits for the rest of a key's sequence.
constexpr std::chrono::milliseconds kEscapeDelay{40};
// The colours a PC console starts in; the questionnaire sets its own at once.
constexpr Attribute kStartAttribute = 0x07;
// Ctrl+\, the one key that always ends the program, as Ctrl+Break did.
constexpr Key kQuitKey{Key::Kind::kCharacter, control::kFileSeparator};

}  // namespace

Console::Console(const ConsoleHandles& handles)
    : device_(handles),
      writer_(handles.size, kStartAttribute,
              handles.erases_in_colour ? ClearMethod::kErase : ClearMethod::kPaintCells),
      decoder_(handles.input_is_terminal ? KeySource::kKeyboard : KeySource::kPipe),
      editor_(writer_),
      keyboard_(handles.input_is_terminal) {}

Console::~Console() {
  Restore();
}

void Console::Flush() {
  if (writer_.HasOutput()) device_.Send(writer_.TakeOutput());
}

LineRead Console::ReadLine() {
  for (;;) {
    Flush();
    const std::optional<Key> key = NextKey();
    if (!key) return LineRead{LineRead::End::kInputEnded, {}};
    if (keyboard_ && *key == kQuitKey) return LineRead{LineRead::End::kQuitKey, {}};
    if (editor_.Press(*key)) return LineRead{LineRead::End::kEnter, editor_.TakeLine()};
  }
}

std::optional<Key> Console::NextKey() {
  while (!decoder_.HasKey()) {
    // Only a keyboard sends Esc sequences against the clock; piped text waits for its bytes.
    const bool escape_pending = keyboard_ && decoder_.AwaitsMore();
    switch (device_.Read(input_, escape_pending ? std::optional(kEscapeDelay) : std::nullopt)) {
      case TerminalDevice::ReadResult::kBytes:
        decoder_.Feed(input_);
        break;
      case TerminalDevice::ReadResult::kTimeout:
        decoder_.Expire();
        break;
      case TerminalDevice::ReadResult::kResized:
        // Always drawn again: a window narrowed and widened back before the
        // program looked has the same size but has lost what it cut off.
        writer_.Resize(device_.Size());
        Flush();
        break;
      case TerminalDevice::ReadResult::kEnd:
        decoder_.EndOfInput();
        if (!decoder_.HasKey()) return std::nullopt;
        break;
    }
  }
  return decoder_.TakeKey();
}

void Console::Restore() {
  if (restored_) return;
  restored_ = true;
  Flush();
  // What comes after the program (a report, the shell's prompt) starts on a
  // line of its own, in the terminal's own colours.
  if (writer_.Cursor().column != 1) device_.Send("\x1b[0m\r\n");
  device_.Restore();
}

}  // namespace pagiste
