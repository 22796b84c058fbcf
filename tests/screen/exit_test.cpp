// How the program ends: statuses, messages, the failure report, and the
// terminal handed back as it was found.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "support/program_run.hpp"

namespace pagiste::testing {
namespace {

void ExpectModesAsFound(const termios& modes) {
  const termios fresh = FreshTerminalModes();
  EXPECT_EQ(modes.c_iflag, fresh.c_iflag);
  EXPECT_EQ(modes.c_oflag, fresh.c_oflag);
  EXPECT_EQ(modes.c_lflag, fresh.c_lflag);
  EXPECT_EQ(modes.c_cflag, fresh.c_cflag);
  EXPECT_EQ(modes.c_cc[VMIN], fresh.c_cc[VMIN]);
}

// What the terminal shows for text written after the program has gone:
// default colours, a visible cursor, and autowrap back on.
void ExpectTerminalHandedBack(ProgramRun& run) {
  ExpectModesAsFound(run.TerminalModes());
  EXPECT_TRUE(run.Screen().CursorVisible());
  VirtualTerminal& after = run.Terminal();  // the test writes on it as a shell would
  after.Feed("\x1b[1;1H" + std::string(81, 'w'));
  EXPECT_EQ(after.CursorRow(), 2) << "autowrap still off";
  EXPECT_EQ(after.Cell(1, 1).foreground, -1) << "colours not reset";
  EXPECT_EQ(after.Cell(1, 1).background, -1) << "colours not reset";
}

// Whether this system writes the program's core files at all: a limit of 0
// forbids them, and AddressSanitizer turns them off in the program it builds.
bool CoreFilesAreWritten() {
#ifdef PAGISTE_SANITIZED
  return false;
#else
  rlimit core{};
  return ::getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_max != 0;
#endif
}

void AnswerEverything(ProgramRun& run) {
  for (int question = 0; question < 11; ++question) {
    ASSERT_TRUE(run.WaitFor([](const VirtualTerminal& s) { return s.CursorColumn() == 2; }));
    const int row_before = run.Screen().CursorRow();
    run.Type("x\r");
    ASSERT_TRUE(run.WaitFor([&](const VirtualTerminal& s) {
      return s.CursorRow() != row_before || !s.CursorVisible();
    }));
  }
}

struct ReportLines {
  std::string location;
  std::string message;
  std::string caller;
};

// The five-line failure report, or an empty message when it is malformed.
ReportLines ParseReport(const std::string& report) {
  static const std::regex kReport(
      "An unhandled exception occurred at 0x([0-9A-F]{8}) :\r\n"
      "([^\r\n]*)\r\n"
      "  0x([0-9A-F]{8})\r\n"
      "  0x([0-9A-F]{8})\r\n"
      "\r\n");
  std::smatch match;
  if (!std::regex_match(report, match, kReport) || match[1] != match[3]) return {};
  return {match[1], match[2], match[4]};
}

std::string SourceLineOf(const std::string& hex_offset) {
  const std::string command = "addr2line -e '" + ProgramPath() + "' 0x" + hex_offset;
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) text += buffer.data();
    ::pclose(pipe);
  }
  return text;
}

TEST(Ending, ACompletedRunEndsWithStatusZeroAndHandsTheTerminalBack) {
  ProgramRun run({});
  AnswerEverything(run);
  ASSERT_TRUE(run.WaitForCursor(1, 7));
  run.Type("\r");
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Screen().Row(4).substr(0, 24),
            " Toutes les informations");  // the closing screen stays
  ExpectTerminalHandedBack(run);
}

TEST(Ending, EndingSignalsHandTheTerminalBackAndEndTheProgramAsUsual) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGQUIT, SIGHUP}) {
    ProgramRun run({});
    ASSERT_TRUE(run.WaitForCursor(2, 8));
    run.Type("abc");
    ASSERT_TRUE(run.WaitForCursor(5, 8));
    run.Signal(signal_number);
    EXPECT_EQ(run.Finish(), 128 + signal_number) << strsignal(signal_number);
    ExpectTerminalHandedBack(run);
    // A quit sent by another process keeps its usual core file, where the
    // system writes one; the quit key below must not.
    if (signal_number == SIGQUIT && CoreFilesAreWritten()) {
      EXPECT_TRUE(run.DumpedCore());
    }
  }
}

TEST(Ending, CtrlCFromTheKeyboardIsACharacterNotAnInterrupt) {
  ProgramRun run({});
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  run.Type("\x03\x1a");  // Ctrl+C, Ctrl+Z
  ASSERT_TRUE(run.WaitForCursor(3, 8)) << run.Screen().Dump();
  EXPECT_EQ(run.Screen().Row(8), " ♥");
}

// Ctrl+\ is the way out, on any screen: the terminal handed back, no page,
// no core file, and the status of a quit.
TEST(Ending, CtrlBackslashEndsTheProgramAndLeavesNothingBehind) {
  for (const bool on_closing_screen : {false, true}) {
    ProgramRun run({});
    if (on_closing_screen) {
      AnswerEverything(run);
      ASSERT_TRUE(run.WaitForCursor(1, 7));
    } else {
      ASSERT_TRUE(run.WaitForCursor(2, 8));
      run.Type("abc");
    }
    run.Type("\x1c");
    EXPECT_EQ(run.Finish(), 128 + SIGQUIT);
    EXPECT_FALSE(run.DumpedCore());
    ExpectTerminalHandedBack(run);
    EXPECT_TRUE(std::filesystem::is_empty(run.Folder().Pages()));
    EXPECT_TRUE(std::filesystem::is_empty(run.Folder().App()));
  }
}

TEST(Ending, WithNoTerminalAtAllTheProgramSaysSoAndEndsWithStatusOne) {
  std::array<int, 2> out{};
  std::array<int, 2> err{};
  ASSERT_EQ(::pipe(out.data()), 0);
  ASSERT_EQ(::pipe(err.data()), 0);
  const std::string program = ProgramPath();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();  // no controlling terminal: /dev/tty cannot be opened
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::execl(program.c_str(), "pagiste", "--any", "argument", static_cast<char*>(nullptr));
    ::_exit(121);
  }
  ::close(out[1]);
  ::close(err[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::array<char, 256> buffer{};
  const ssize_t out_count = ::read(out[0], buffer.data(), buffer.size());
  EXPECT_EQ(out_count, 0);
  const ssize_t err_count = ::read(err[0], buffer.data(), buffer.size());
  EXPECT_EQ(std::string(buffer.data(), static_cast<std::size_t>(std::max<ssize_t>(err_count, 0))),
            "No way to get the console handle\r\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  ::close(out[0]);
  ::close(err[0]);
}

TEST(Ending, PipedAnswersCompleteARunWhileTheScreensGoToTheTerminal) {
  ProgramRun run(Piped(true, true));
  run.Pipe("Dupont\r\nJean\nrue\re@x\r\n\r\n0102\n06\n1990\ncomment\nphoto.jpg\nD\n\n");
  run.ClosePipe();
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Stdout(), "");  // nothing of the screens reaches standard output
  EXPECT_EQ(run.Screen().Row(6), " Appuyez sur [Entrée] pour continuer...");
  ExpectModesAsFound(run.TerminalModes());
}

TEST(Ending, InputThatEndsBeforeTheLastAnswerEndsInTheFailureReport) {
  ProgramRun run(Piped(true, true));
  run.Pipe("Dupont\nJean\n");
  run.ClosePipe();
  EXPECT_EQ(run.Finish(), 217);
  const ReportLines report = ParseReport(run.Stdout());
  EXPECT_EQ(report.message, "Read past end of file") << run.Stdout();
  EXPECT_EQ(run.Screen().Row(8), " Dupont");
  EXPECT_EQ(run.Screen().Row(11), " Jean");
  EXPECT_EQ(run.Screen().Row(13), " Adresse :");
  ExpectTerminalHandedBack(run);
  // The locations name the failing statement and the start-up code's call.
  if (SourceLineOf(report.location).find("??") == std::string::npos) {
    EXPECT_NE(SourceLineOf(report.location).find("questionnaire.cpp:"), std::string::npos)
        << SourceLineOf(report.location);
    EXPECT_NE(SourceLineOf(report.caller).find("main.cpp:"), std::string::npos)
        << SourceLineOf(report.caller);
  }
}

TEST(Ending, AVanishedTerminalEndsTheWaitWithTheFailureReport) {
  ProgramRun run(Piped(false, true));
  ASSERT_TRUE(run.WaitForCursor(2, 8));
  run.HangUp();
  EXPECT_EQ(run.Finish(), 217);
  EXPECT_EQ(ParseReport(run.Stdout()).message, "Read past end of file") << run.Stdout();
}

}  // namespace
}  // namespace pagiste::testing
