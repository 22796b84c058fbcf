// One fault at a time, on every system call that the page's writing and the
// terminal make, and in the program's surroundings: each must end in its exact
// report (or its signal's status, or a completed run where the program gets
// round it), with the earlier page unchanged, no unfinished page left behind
// and the terminal handed back as it was found.
//
// System calls fail through a library preloaded into the program
// (tests/faults/fault_shim.c) rather than under strace: it picks a call by the
// file it acts on (the unfinished page, the page, the terminal), and it works
// the same under the sanitizers, whose leak check cannot run under ptrace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "faults/run_checks.hpp"
#include "support/fixtures.hpp"
#include "support/program_run.hpp"

namespace pagiste::testing {
namespace {

namespace fs = std::filesystem;

const std::string kEarlierPage = "an earlier page that must survive\r\n";
constexpr std::size_t kAllLines = 12;  // the eleven answers and the closing Enter
constexpr std::size_t kBlock = 256;    // the page goes out in writes of this size

const std::string kDiskFull = "Disk Full";
const std::string kAccessDenied = "Access denied";
const std::string kTooManyFiles = "Too many open files";
const std::string kInvalidFilename = "Invalid filename";
const std::string kReadPastEnd = "Read past end of file";

std::string Unknown(int code) {
  std::array<char, 40> text{};
  std::snprintf(text.data(), text.size(), "Unknown Run-Time error : %03d", code);
  return text.data();
}

// How the answers come.
enum class Input : std::uint8_t {
  kPiped,  // one line each through standard input
  kTyped,  // on the terminal, each line read before the next is typed
};

// What happens once the given lines are in.
enum class Moment : std::uint8_t {
  kNone,       // the rest of the answers
  kInputEnds,  // the pipe closes
  kHangUp,     // the terminal goes away
  kSignal,     // another process sends a signal
  kQuitKey,    // Ctrl+backslash
};

enum class Place : std::uint8_t {
  kFolder,           // an ordinary folder
  kFullDisk,         // a tmpfs with no room left
  kReadOnlyMount,    // a tmpfs mounted read-only
  kReadOnlyBind,     // the folder bound onto itself read-only
  kRefusesNewFiles,  // a folder the program (run as nobody) may not add to; the page it may write
};

enum class PageAfter : std::uint8_t { kEarlier, kNew, kNone };

struct Fault {
  std::string what{};
  std::string inject{};  // for the preloaded library: "<call> <target> <nth> <count> <action>"
  Input input = Input::kPiped;
  std::size_t lines = kAllLines;  // lines given before the moment
  std::string tail{};             // then these keys, an answer begun
  Moment moment = Moment::kNone;
  int signal = 0;
  Place place = Place::kFolder;
  bool earlier_page = true;
  long open_files = -1;
  bool screen_drawn = true;  // the terminal receives the program's screens
  // What must come of it.
  int status = 0;
  std::string message{};  // the report's, for status 217
  PageAfter page = PageAfter::kNew;
};

std::string Injection(const std::string& call, const std::string& target, std::size_t nth,
                      std::size_t count, const std::string& action) {
  return call + " " + target + " " + std::to_string(nth) + " " + std::to_string(count) + " " +
         action;
}
std::string Fails(const std::string& call, const std::string& target, std::size_t nth,
                  int error_number, std::size_t count = 1) {
  return Injection(call, target, nth, count, "errno=" + std::to_string(error_number));
}
std::string Signals(const std::string& call, const std::string& target, std::size_t nth,
                    int signal_number) {
  return Injection(call, target, nth, 1, "signal=" + std::to_string(signal_number));
}

Fault Reported(std::string what, std::string inject, std::string message) {
  return {.what = std::move(what),
          .inject = std::move(inject),
          .status = 217,
          .message = std::move(message),
          .page = PageAfter::kEarlier};
}
Fault Completed(std::string what, std::string inject, Input input = Input::kPiped) {
  return {.what = std::move(what), .inject = std::move(inject), .input = input};
}

std::size_t PageBlocks() {
  return (Fixture("Jean Dupont.htm").size() + kBlock - 1) / kBlock;
}

void AddPageCreationFaults(std::vector<Fault>& faults) {
  faults.push_back(
      Reported("opening the page refused", Fails("open", "page", 1, EACCES), kAccessDenied));
  faults.push_back(Reported("opening the page: too many files", Fails("open", "page", 1, EMFILE),
                            kTooManyFiles));
  faults.push_back(Reported("opening the page: read-only file system",
                            Fails("open", "page", 1, EROFS), kAccessDenied));
  faults.push_back(
      Reported("opening the page: I/O error", Fails("open", "page", 1, EIO), Unknown(EIO)));
  faults.push_back(Reported("opening the page: name too long",
                            Fails("open", "page", 1, ENAMETOOLONG), Unknown(123)));
  faults.push_back(Reported("opening the page: a loop of links", Fails("open", "page", 1, ELOOP),
                            Unknown(ELOOP)));
  faults.push_back(Reported("creating the unfinished page: disk full",
                            Fails("open", "temp", 1, ENOSPC), kDiskFull));
  faults.push_back(
      Reported("creating the unfinished page: quota", Fails("open", "temp", 1, EDQUOT), kDiskFull));
  faults.push_back(Reported("creating the unfinished page: too many files",
                            Fails("open", "temp", 1, EMFILE), kTooManyFiles));
  faults.push_back(Reported("creating the unfinished page: too many files in the system",
                            Fails("open", "temp", 1, ENFILE), kTooManyFiles));
  faults.push_back(
      Completed("creating the unfinished page: read-only file system, the page "
                "being writable: it is rewritten in place",
                Fails("open", "temp", 1, EROFS)));
  faults.push_back(Reported("creating the unfinished page: I/O error",
                            Fails("open", "temp", 1, EIO), Unknown(EIO)));
  faults.push_back(Completed("creating the unfinished page refused: the page is rewritten in place",
                             Fails("open", "temp", 1, EACCES)));
  faults.push_back(Completed("the unfinished page's name taken: the next name is used",
                             Fails("open", "temp", 1, EEXIST)));
  faults.push_back(Completed("creating the unfinished page interrupted: tried again",
                             Fails("open", "temp", 1, EINTR)));
  faults.push_back(Completed("the earlier page's owner may not be given: its group is kept",
                             Fails("fchown", "temp", 1, EPERM, 0)));
  // Interrupted by the kernel's hang-up, say, whose handler returns.
  faults.push_back(
      Completed("giving the owner interrupted: tried again", Fails("fchown", "temp", 1, EINTR)));
  faults.push_back(Completed("giving the permissions interrupted: tried again",
                             Fails("fchmod", "temp", 1, EINTR)));
  faults.push_back(
      Reported("giving the owner: I/O error", Fails("fchown", "temp", 1, EIO), Unknown(EIO)));
  faults.push_back(
      Reported("giving the permissions refused", Fails("fchmod", "temp", 1, EPERM), kAccessDenied));
  faults.push_back(
      Reported("giving the permissions: I/O error", Fails("fchmod", "temp", 1, EIO), Unknown(EIO)));
}

void AddPageWriteFaults(std::vector<Fault>& faults) {
  for (std::size_t block = 1; block <= PageBlocks(); ++block) {
    const std::string which =
        "block " + std::to_string(block) + " of " + std::to_string(PageBlocks());
    faults.push_back(
        Reported("disk full at " + which, Fails("write", "temp", block, ENOSPC), kDiskFull));
    faults.push_back(Reported("a short write at " + which,
                              Injection("write", "temp", block, 1, "short"), kDiskFull));
  }
  faults.push_back(Reported("a write: quota", Fails("write", "temp", 3, EDQUOT), kDiskFull));
  faults.push_back(
      Reported("a write: file too large", Fails("write", "temp", 1, EFBIG), kDiskFull));
  faults.push_back(Reported("a write: I/O error", Fails("write", "temp", 2, EIO), kDiskFull));
  faults.push_back(Completed("a write interrupted: tried again", Fails("write", "temp", 2, EINTR)));
  faults.push_back(
      Reported("storing on disk: I/O error", Fails("fsync", "temp", 1, EIO), kDiskFull));
  faults.push_back(
      Reported("storing on disk: disk full", Fails("fsync", "temp", 1, ENOSPC), kDiskFull));
  faults.push_back(
      Completed("storing on disk interrupted: tried again", Fails("fsync", "temp", 1, EINTR)));
  faults.push_back(Reported("closing: I/O error", Fails("close", "temp", 1, EIO), kDiskFull));
  faults.push_back(Reported("closing: disk full", Fails("close", "temp", 1, ENOSPC), kDiskFull));
  faults.push_back(
      Completed("closing interrupted: closed all the same", Fails("close", "temp", 1, EINTR)));
  faults.push_back(Completed("putting in place refused: the page is rewritten in place",
                             Fails("rename", "temp", 1, EACCES)));
  faults.push_back(Completed("putting in place not permitted: the page is rewritten in place",
                             Fails("rename", "temp", 1, EPERM)));
  faults.push_back(
      Completed("putting in place interrupted: tried again", Fails("rename", "temp", 1, EINTR)));
  faults.push_back(Reported("putting in place: across devices", Fails("rename", "temp", 1, EXDEV),
                            Unknown(EXDEV)));
  faults.push_back(
      Reported("putting in place: I/O error", Fails("rename", "temp", 1, EIO), Unknown(EIO)));
  faults.push_back(
      Reported("putting in place: disk full", Fails("rename", "temp", 1, ENOSPC), kDiskFull));
  faults.push_back(Reported("putting in place: read-only file system",
                            Fails("rename", "temp", 1, EROFS), kAccessDenied));
  faults.push_back(
      Reported("putting in place: busy", Fails("rename", "temp", 1, EBUSY), Unknown(EBUSY)));
  faults.push_back(Reported("putting in place: the folder went away",
                            Fails("rename", "temp", 1, ENOENT), kInvalidFilename));
}

void AddTerminalFaults(std::vector<Fault>& faults) {
  const auto typed_ends = [](std::string what, std::string inject) {
    Fault fault = Reported(std::move(what), std::move(inject), kReadPastEnd);
    fault.input = Input::kTyped;
    return fault;
  };
  faults.push_back(
      typed_ends("the first key's read: I/O error", Fails("read", "terminal", 1, EIO)));
  faults.push_back(
      typed_ends("the fifth answer's read: I/O error", Fails("read", "terminal", 5, EIO)));
  faults.push_back(typed_ends("the third answer's read finds the end",
                              Injection("read", "terminal", 3, 1, "eof")));
  faults.push_back(
      typed_ends("the closing Enter's read: I/O error", Fails("read", "terminal", 12, EIO)));
  faults.push_back(
      Completed("a read interrupted", Fails("read", "terminal", 2, EINTR), Input::kTyped));
  faults.push_back(Completed("a read finds nothing yet", Fails("read", "terminal", 2, EAGAIN, 3),
                             Input::kTyped));
  faults.push_back(Completed("the wait for a key interrupted, no window change",
                             Fails("ppoll", "terminal", 1, EINTR), Input::kTyped));
  faults.push_back(Completed("the wait for a key fails: the read waits instead",
                             Fails("ppoll", "terminal", 3, ENOMEM), Input::kTyped));
  faults.push_back(Completed("the first screen lost: the run goes on",
                             Fails("write", "terminal", 1, EIO), Input::kTyped));
  faults.push_back(Completed("the terminal full for a while",
                             Fails("write", "terminal", 2, EAGAIN, 3), Input::kTyped));
  faults.push_back(Completed("every write to the terminal takes half",
                             Injection("write", "terminal", 1, 0, "short"), Input::kTyped));
  faults.push_back(Completed("five writes to the terminal interrupted in a row",
                             Fails("write", "terminal", 1, EINTR, 5), Input::kTyped));
  Fault never_drawn = Completed("the terminal takes no write at all: the run goes on",
                                Fails("write", "terminal", 1, EIO, 0), Input::kTyped);
  never_drawn.screen_drawn = false;
  faults.push_back(never_drawn);
  faults.push_back(Completed("setting the terminal's modes interrupted",
                             Fails("tcsetattr", "terminal", 1, EINTR), Input::kTyped));
  faults.push_back(Completed("handing the modes back interrupted",
                             Fails("tcsetattr", "terminal", 2, EINTR), Input::kTyped));
}

void AddSurroundings(std::vector<Fault>& faults) {
  Fault few_files = Reported("four open files at most", "", kTooManyFiles);
  few_files.open_files = 4;  // standard input, output, error and the terminal
  faults.push_back(few_files);
  Fault full = Reported("a full tmpfs", "", kDiskFull);
  full.place = Place::kFullDisk;
  faults.push_back(full);
  Fault read_only = Reported("a read-only tmpfs", "", kAccessDenied);
  read_only.place = Place::kReadOnlyMount;
  faults.push_back(read_only);
  Fault read_only_new = read_only;
  read_only_new.what = "a read-only tmpfs, no earlier page";
  read_only_new.earlier_page = false;
  read_only_new.page = PageAfter::kNone;
  faults.push_back(read_only_new);
  // Where the folder takes no new file the page is rewritten in place: its
  // own opening is the one that may then fail, before anything is lost.
  Fault refusing = Completed("the folder takes no new file: the page is rewritten in place", "");
  refusing.place = Place::kRefusesNewFiles;
  faults.push_back(refusing);
  for (const auto& [error_number, message] :
       {std::pair{EACCES, kAccessDenied}, std::pair{EMFILE, kTooManyFiles},
        std::pair{EIO, Unknown(EIO)}}) {
    Fault in_place = Reported("the folder takes no new file and opening the page in place fails",
                              Fails("open", "page", 2, error_number), message);
    in_place.place = Place::kRefusesNewFiles;
    faults.push_back(in_place);
  }
  Fault bound = Reported("the folder bound read-only", "", kAccessDenied);
  bound.place = Place::kReadOnlyBind;
  faults.push_back(bound);
}

void AddEndsOfInput(std::vector<Fault>& faults) {
  for (std::size_t lines = 0; lines < kAllLines; ++lines) {
    Fault ended =
        Reported("piped input ends after " + std::to_string(lines) + " lines", "", kReadPastEnd);
    ended.lines = lines;
    ended.moment = Moment::kInputEnds;
    faults.push_back(ended);
  }
  Fault cut = Reported("piped input ends inside the last answer", "", kReadPastEnd);
  cut.lines = 10;
  cut.tail = "D";
  cut.moment = Moment::kInputEnds;
  faults.push_back(cut);
  Fault escape = cut;
  escape.what = "piped input ends on an Esc";
  escape.tail = "D\x1b[";
  faults.push_back(escape);
  for (const std::size_t lines : {0, 5, 11}) {
    Fault hang_up = Reported("the terminal hangs up after " + std::to_string(lines) + " lines", "",
                             kReadPastEnd);
    hang_up.input = Input::kTyped;
    hang_up.lines = lines;
    hang_up.tail = "ab";
    hang_up.moment = Moment::kHangUp;
    faults.push_back(hang_up);
  }
  // All input read, the page being written: nothing is lost with the terminal.
  faults.push_back({.what = "the terminal hangs up while the page is written",
                    .inject = Injection("write", "temp", 5, 1, "pause=300"),
                    .input = Input::kTyped,
                    .moment = Moment::kHangUp});
  Fault quit = {.what = "Ctrl+backslash on the fourth question",
                .input = Input::kTyped,
                .lines = 3,
                .tail = "abc\x1c",
                .moment = Moment::kQuitKey,
                .status = 128 + SIGQUIT,
                .page = PageAfter::kEarlier};
  faults.push_back(quit);
}

std::vector<int> EndingSignals() {
  std::vector<int> signals = {SIGHUP,  SIGINT,    SIGQUIT,  SIGTERM,      SIGUSR1,   SIGUSR2,
                              SIGALRM, SIGVTALRM, SIGPROF,  SIGXCPU,      SIGSTKFLT, SIGIO,
                              SIGPWR,  SIGABRT,   SIGRTMIN, SIGRTMIN + 7, SIGRTMAX};
#ifndef PAGISTE_SANITIZED
  // Under the sanitizers these are theirs to report.
  for (const int fault_signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
    signals.push_back(fault_signal);
#endif
  return signals;
}

// A step of the page's writing, as the preloaded library finds it.
struct WritingStep {
  std::string what;
  std::string call;
  std::size_t nth;
};

std::vector<WritingStep> WritingSteps() {
  std::vector<WritingStep> steps = {
      {"creating the unfinished page", "open", 1},
      {"giving the owner", "fchown", 1},
      {"giving the permissions", "fchmod", 1},
      {"storing on disk", "fsync", 1},
      {"closing", "close", 1},
      {"putting in place", "rename", 1},
  };
  for (std::size_t block = 1; block <= PageBlocks(); ++block)
    steps.push_back({"writing block " + std::to_string(block), "write", block});
  return steps;
}

std::string SignalName(int signal_number) {
  const char* abbreviation = sigabbrev_np(signal_number);
  return abbreviation != nullptr ? std::string("SIG").append(abbreviation)
                                 : std::to_string(signal_number);
}

// Each signal once while the questions are asked and once while the page is
// being written, the moments taken in turn so that together they cover every
// question and every step of the writing.
void AddSignals(std::vector<Fault>& faults) {
  const std::vector<WritingStep> steps = WritingSteps();
  const std::vector<int> signals = EndingSignals();
  for (std::size_t i = 0; i < signals.size(); ++i) {
    const int signal_number = signals[i];
    const std::size_t lines = i % kAllLines;
    faults.push_back({.what = SignalName(signal_number) + " from another process on question " +
                              std::to_string(lines + 1),
                      .input = Input::kTyped,
                      .lines = lines,
                      .tail = lines < kAllLines - 1 ? "abc" : "",
                      .moment = Moment::kSignal,
                      .signal = signal_number,
                      .status = 128 + signal_number,
                      .page = PageAfter::kEarlier});
    const WritingStep& step = steps[i % steps.size()];
    // The rename is made with signals held back: the new page is in place
    // when the signal ends the program.
    faults.push_back({.what = SignalName(signal_number).append(" while ").append(step.what),
                      .inject = Signals(step.call, "temp", step.nth, signal_number),
                      .status = 128 + signal_number,
                      .page = step.call == "rename" ? PageAfter::kNew : PageAfter::kEarlier});
  }
  // Broken pipes and exceeded file sizes are reported as failed writes, so
  // those two signals are ignored: sent from elsewhere, they change nothing.
  for (const int ignored : {SIGPIPE, SIGXFSZ}) {
    faults.push_back(Completed(SignalName(ignored) + " while writing, ignored",
                               Signals("write", "temp", 2, ignored)));
  }
}

std::vector<Fault> AllFaults() {
  std::vector<Fault> faults;
  AddPageCreationFaults(faults);
  AddPageWriteFaults(faults);
  AddTerminalFaults(faults);
  AddSurroundings(faults);
  AddEndsOfInput(faults);
  AddSignals(faults);
  return faults;
}

// Mounting, and running the program as another user.
bool NeedsRoot(const Fault& fault) {
  return fault.place != Place::kFolder;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// What the pages' folder must hold once the run is over.
std::set<std::string> ExpectedFiles(const Fault& fault) {
  std::set<std::string> files;
  if (fault.earlier_page || fault.page == PageAfter::kNew) files.insert("Jean Dupont.htm");
  if (fault.place == Place::kFullDisk) files.insert("filler");
  return files;
}

// The pages' folder as the row wants it, with the earlier page in it; a
// mount is undone when the row is done.
class PagesFolder {
 public:
  PagesFolder(const Fault& fault, const std::string& folder) : folder_(folder) {
    if (fault.place == Place::kFullDisk || fault.place == Place::kReadOnlyMount) {
      Mount("tmpfs", "tmpfs", 0, "size=8k,mode=0777");
    }
    if (fault.earlier_page) WriteFile(folder + "/Jean Dupont.htm", kEarlierPage);
    if (fault.place == Place::kFullDisk) WriteFile(folder + "/filler", std::string(4096, 'f'));
    if (fault.place == Place::kReadOnlyMount) {
      Mount(nullptr, nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    }
    if (fault.place == Place::kRefusesNewFiles) {
      fs::permissions(folder + "/Jean Dupont.htm",
                      fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                         fs::perms::others_exec));
      fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
    if (fault.place == Place::kReadOnlyBind) {
      Mount(folder.c_str(), nullptr, MS_BIND, nullptr);
      Mount(nullptr, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
    }
  }
  ~PagesFolder() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  PagesFolder(const PagesFolder&) = delete;
  PagesFolder& operator=(const PagesFolder&) = delete;
  PagesFolder(PagesFolder&&) = delete;
  PagesFolder& operator=(PagesFolder&&) = delete;

 private:
  void Mount(const char* source, const char* type, unsigned long flags, const char* options) {
    if (::mount(source, folder_.c_str(), type, flags, options) != 0) {
      ADD_FAILURE() << "mount on " << folder_ << ": " << std::strerror(errno);
      return;
    }
    mounted_ = true;
  }

  std::string folder_;
  bool mounted_ = false;
};

// A file for the preloaded library's log, removed afterwards.
class FaultLog {
 public:
  FaultLog() {
    std::string pattern = fs::temp_directory_path() / "pagiste-fault-log-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) {
      ::fchmod(fd, 0666);  // a run as nobody writes to it too
      ::close(fd);
    }
    path_ = pattern;
  }
  ~FaultLog() { ::unlink(path_.c_str()); }
  FaultLog(const FaultLog&) = delete;
  FaultLog& operator=(const FaultLog&) = delete;
  FaultLog(FaultLog&&) = delete;
  FaultLog& operator=(FaultLog&&) = delete;

  [[nodiscard]] const std::string& Path() const { return path_; }
  [[nodiscard]] int Acts() const {
    const std::string text = ReadFile(path_);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

 private:
  std::string path_;
};

std::vector<std::string> AnswerLines() {
  std::vector<std::string> lines;
  std::istringstream typed(JeanDupontTyped());
  for (std::string line; std::getline(typed, line);) lines.push_back(line);
  return lines;
}

RunOptions OptionsFor(const Fault& fault, const FaultLog& log) {
  RunOptions options = Piped(fault.input == Input::kPiped, true);
  options.open_files_limit = fault.open_files;
  options.as_unprivileged_user = fault.place == Place::kRefusesNewFiles;
  if (!fault.inject.empty()) {
    options.environment = {{"LD_PRELOAD", PAGISTE_FAULT_SHIM},
                           {"PAGISTE_FAULT", fault.inject},
                           {"PAGISTE_FAULT_LOG", log.Path()}};
  }
  return options;
}

void GivePipedAnswers(ProgramRun& run, const Fault& fault) {
  const std::vector<std::string> lines = AnswerLines();
  std::string given;
  for (std::size_t i = 0; i < fault.lines; ++i) given += lines[i] + "\n";
  run.Pipe(given + fault.tail);
  run.ClosePipe();
}

// Each line read before the next is typed, so that the program's reads are
// one per line; the moment comes once the given lines and the tail are in.
void TypeAnswers(ProgramRun& run, const Fault& fault, const FaultLog& log) {
  const std::vector<std::string> lines = AnswerLines();
  if (!run.WaitUntilSettled()) return;
  for (std::size_t i = 0; i < fault.lines; ++i) {
    run.Type(lines[i] + "\r");
    if (i + 1 < kAllLines && !run.WaitUntilSettled()) return;  // ended, as some faults make it
  }
  if (fault.moment == Moment::kNone) return;
  if (fault.lines == kAllLines) {
    // The moment is the preloaded library's: it has come once the log says so.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (log.Acts() == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!fault.tail.empty()) {
    run.Type(fault.tail);
    if (fault.moment != Moment::kQuitKey) {
      ASSERT_TRUE(run.WaitUntilSettled());
    }
  }
  if (fault.moment == Moment::kHangUp) run.HangUp();
  if (fault.moment == Moment::kSignal) run.Signal(fault.signal);
}

void ExpectPage(const Fault& fault, const std::string& page) {
  switch (fault.page) {
    case PageAfter::kEarlier:
      EXPECT_EQ(ReadFile(page), kEarlierPage) << "the earlier page changed";
      break;
    case PageAfter::kNew:
      EXPECT_EQ(ReadFile(page), Fixture("Jean Dupont.htm")) << "not the new page";
      break;
    case PageAfter::kNone:
      EXPECT_FALSE(fs::exists(page));
      break;
  }
}

void ExpectNoUnfinishedPage(const std::string& root) {
  for (const std::string& file : FilesIn(root))
    EXPECT_EQ(file.find(".pagiste-"), std::string::npos) << "left behind: " << file;
}

// Runs one row; gives how many times the preloaded library acted.
int RunFault(const Fault& fault) {
  const FaultLog log;
  ProgramRun run(OptionsFor(fault, log));
  const std::string page = run.Folder().Pages() + "/Jean Dupont.htm";
  const PagesFolder folder(fault, run.Folder().Pages());
  if (fault.input == Input::kPiped) {
    GivePipedAnswers(run, fault);
  } else {
    TypeAnswers(run, fault, log);
  }
  const int status = run.Finish();
  EXPECT_EQ(status, fault.status) << run.Stdout();
  EXPECT_EQ(fault.status == 217 ? ReportMessage(run.Stdout()) : run.Stdout(), fault.message);
  ExpectPage(fault, page);
  EXPECT_EQ(FilesIn(run.Folder().Pages()), ExpectedFiles(fault));
  ExpectNoUnfinishedPage(run.Folder().Root());
  if (fault.status == 0 && fault.screen_drawn) {
    EXPECT_EQ(run.Screen().Row(4).substr(0, 24), " Toutes les informations")
        << "the closing screen is not whole\n"
        << run.Screen().Dump();
  }
  if (fault.moment == Moment::kQuitKey) {
    EXPECT_FALSE(run.DumpedCore());
  }
  if (fault.moment != Moment::kHangUp) ExpectTerminalHandedBack(run);
  if (!fault.inject.empty()) {
    EXPECT_GT(log.Acts(), 0) << "the fault never came";
  }
  return log.Acts();
}

TEST(Faults, EachFaultEndsInItsReportOrStatusAndLosesNothing) {
  const std::vector<Fault> faults = AllFaults();
  int rows = 0;
  int acts = 0;
  int skipped = 0;
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what + (fault.inject.empty() ? "" : " [" + fault.inject + "]"));
    if (NeedsRoot(fault) && ::geteuid() != 0) {
      if (InContinuousIntegration())
        ADD_FAILURE() << "this row needs root (mounts, a run as nobody)";
      ++skipped;
      continue;
    }
    try {
      acts += RunFault(fault);
    } catch (const std::exception& error) {
      ADD_FAILURE() << error.what();
    }
    ++rows;
  }
  std::cout << "faults: " << rows << " rows run, " << skipped << " needing root skipped; " << acts
            << " system calls made to fail, wait or signal\n";
}

// The unfinished page's system calls in their order: created new, given the
// earlier page's owner and permissions, written in 256-byte blocks, stored on
// disk, closed, and only then renamed over the page.
TEST(Faults, TheUnfinishedPageGoesOutIn256ByteBlocksAndIsStoredBeforeItsRename) {
  const FaultLog log;
  Fault fault = Completed("", Injection("*", "temp", 1, 0, "note"));
  ProgramRun run(OptionsFor(fault, log));
  const PagesFolder folder(fault, run.Folder().Pages());
  GivePipedAnswers(run, fault);
  ASSERT_EQ(run.Finish(), 0) << run.Stdout();
  std::vector<std::string> expected = {"open", "fchown", "fchmod"};
  const std::size_t size = Fixture("Jean Dupont.htm").size();
  for (std::size_t sent = 0; sent < size; sent += kBlock)
    expected.push_back("write " + std::to_string(std::min(kBlock, size - sent)));
  expected.insert(expected.end(), {"fsync", "close", "rename"});
  std::vector<std::string> calls;
  std::istringstream lines(ReadFile(log.Path()));
  std::string call;
  long count = 0;
  long detail = 0;
  while (lines >> call >> count >> detail) {
    if (call == "open") {
      EXPECT_EQ(detail & (O_CREAT | O_EXCL | O_ACCMODE), O_CREAT | O_EXCL | O_WRONLY);
    }
    calls.push_back(call == "write" ? call + " " + std::to_string(detail) : call);
  }
  EXPECT_EQ(calls, expected);
}

// Where only the page may be written, it is rewritten in place: a failure
// half way is reported, and that path alone cannot keep the earlier page.
TEST(Faults, AFailedRewriteInPlaceIsReportedAndLeavesWhatWasStored) {
  if (::geteuid() != 0) {
    ASSERT_FALSE(InContinuousIntegration()) << "CI runs as root: this test must run there";
    GTEST_SKIP() << "running the program as another user needs root";
  }
  RunOptions options = Piped(true, true);
  options.as_unprivileged_user = true;
  options.file_size_limit = 1000;
  ProgramRun run(options);
  const std::string page = run.Folder().Pages() + "/Jean Dupont.htm";
  WriteFile(page, kEarlierPage);
  fs::permissions(page, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                           fs::perms::others_exec));
  fs::permissions(run.Folder().Pages(), fs::perms::owner_all | fs::perms::group_read |
                                            fs::perms::group_exec | fs::perms::others_read |
                                            fs::perms::others_exec);
  run.Pipe(JeanDupontTyped());
  run.ClosePipe();
  EXPECT_EQ(run.Finish(), 217);
  EXPECT_EQ(ReportMessage(run.Stdout()), kDiskFull);
  // The one path that cannot keep the earlier page, as the README says: the
  // page holds the whole 256-byte blocks stored before the disk refused more.
  const std::string fixture = Fixture("Jean Dupont.htm");
  const std::string stored = ReadFile(page);
  EXPECT_EQ(stored, fixture.substr(0, 1000));
  EXPECT_EQ(FilesIn(run.Folder().Pages()), std::set<std::string>{"Jean Dupont.htm"});
}

}  // namespace
}  // namespace pagiste::testing
