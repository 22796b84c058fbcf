#include "console/console.hpp"

namespace pagiste {
namespace {

// How long a lone Esc waits for the rest of a key's sequence.
constexpr std::chrono::milliseconds kEscapeDelay{40};
// The colours a PC console starts in; the questionnaire sets its own at once.
constexpr Attribute kStartAttribute = 0x07;

}  // namespace

Console::Console(const ConsoleHandles& handles)
    : device_(handles),
      writer_(handles.size, kStartAttribute),
      decoder_(handles.input_is_terminal ? KeySource::kKeyboard : KeySource::kPipe),
      editor_(writer_) {}

void Console::WriteText(std::string_view text) {
  writer_.WriteText(text);
  Flush();
}

void Console::WriteLineEnd() {
  WriteText("\r\n");
}

void Console::Flush() {
  if (writer_.HasOutput()) device_.Send(writer_.TakeOutput());
}

std::optional<std::string> Console::ReadLine() {
  Flush();
  for (;;) {
    const std::optional<Key> key = NextKey();
    if (!key) return std::nullopt;
    const bool finished = editor_.Press(*key);
    Flush();
    if (finished) return editor_.TakeLine();
  }
}

std::optional<Key> Console::NextKey() {
  while (!decoder_.HasKey()) {
    const auto timeout = decoder_.AwaitsMore() ? std::optional(kEscapeDelay) : std::nullopt;
    switch (device_.Read(input_, timeout)) {
      case TerminalDevice::ReadResult::kBytes:
        decoder_.Feed(input_);
        break;
      case TerminalDevice::ReadResult::kTimeout:
        decoder_.Expire();
        break;
      case TerminalDevice::ReadResult::kEnd:
        decoder_.Expire();
        if (!decoder_.HasKey()) return std::nullopt;
        break;
    }
  }
  return decoder_.TakeKey();
}

void Console::Restore() {
  Flush();
  device_.Restore();
}

}  // namespace pagiste
