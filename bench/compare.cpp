// Compares full-screen programs as a person meets them on an 80 x 25
// pseudo-terminal: time to the first screen, what that screen costs in bytes
// and write() calls, the echo of a typed key, the cost of waiting for one, and
// memory.
//
//   compare screen raw|c OUTPUT PROGRAM [ARG...]
//       the program's first screen as the terminal receives it, into OUTPUT:
//       raw bytes, or the body of a C array initializer
//   compare table RUNS KEYS TRACE PROGRAM...
//       one Markdown table, a column per PROGRAM ("label|stripped size|program|
//       arg|..."); the last PROGRAM is the reference every figure is divided by.
//       TRACE is a scratch file for strace.
//   compare page PROGRAM FOLDER TRACE
//       write() calls, bytes, fsync and rename for one page typed in full;
//       FOLDER holds app/, the working directory, and personnes/
//
// A program's first screen is everything it writes before it waits for a
// key: the output has stopped, and strace shows it blocked in a read, poll
// or select of the terminal.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned short kRows = 25;
constexpr unsigned short kColumns = 80;
// Output quiet this long: the program waits for a key.
constexpr milliseconds kScreenQuiet{500};
// Between two keys: the rest of an echo has arrived.
constexpr milliseconds kEchoQuiet{50};
constexpr milliseconds kPatience{20000};
constexpr auto kIdle = std::chrono::seconds(5);

double Microseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::micro>(elapsed).count();
}

// Follows the escape sequences in a terminal's output, to tell a character
// drawn as text from the same byte inside a sequence or drawn as a line.
class TextScanner {
 public:
  // The characters of `bytes` drawn as text.
  std::string Text(std::string_view bytes) {
    std::string text;
    for (const char byte : bytes) {
      if (Step(byte)) text += byte;
    }
    return text;
  }

 private:
  enum class State { kText, kEscape, kSequence, kCharset, kString };
  static constexpr char kEscapeByte = '\x1b';
  static constexpr char kShiftOut = '\x0e';
  static constexpr char kShiftIn = '\x0f';
  static constexpr char kBell = '\x07';

  bool Step(char byte) {
    switch (state_) {
      case State::kText:
        return StepText(byte);
      case State::kEscape:
        StepEscape(byte);
        return false;
      case State::kSequence:
        if (byte >= '@' && byte <= '~') state_ = State::kText;
        return false;
      case State::kCharset:
        (designating_g0_ ? g0_lines_ : g1_lines_) = byte == '0';
        state_ = State::kText;
        return false;
      case State::kString:
        if (byte == kBell) state_ = State::kText;
        if (byte == kEscapeByte) state_ = State::kEscape;
        return false;
    }
    return false;
  }

  bool StepText(char byte) {
    if (byte == kEscapeByte) state_ = State::kEscape;
    if (byte == kShiftOut) shifted_ = true;
    if (byte == kShiftIn) shifted_ = false;
    if (static_cast<unsigned char>(byte) < ' ' || byte == '\x7f') return false;
    return !(shifted_ ? g1_lines_ : g0_lines_);
  }

  void StepEscape(char byte) {
    if (byte == '[') {
      state_ = State::kSequence;
    } else if (byte == '(' || byte == ')') {
      designating_g0_ = byte == '(';
      state_ = State::kCharset;
    } else if (byte == ']' || byte == 'P' || byte == '_' || byte == '^') {
      state_ = State::kString;
    } else {
      state_ = State::kText;
    }
  }

  State state_ = State::kText;
  bool shifted_ = false;
  bool designating_g0_ = true;
  bool g0_lines_ = false;
  bool g1_lines_ = false;
};

struct Output {
  std::string bytes;
  std::string text;  // the characters drawn as text
};

// One program on a pseudo-terminal of its own, killed with its terminal when
// the session ends.
class Session {
 public:
  explicit Session(const std::vector<std::string>& command, const std::string& directory = {})
      : name_(command.at(0)) {
    winsize size{};
    size.ws_row = kRows;
    size.ws_col = kColumns;
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) Exec(command, directory);
  }
  ~Session() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(master_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  Session(Session&&) = delete;
  Session& operator=(Session&&) = delete;

  [[nodiscard]] pid_t Pid() const { return pid_; }

  // What arrives within `wait`; nothing when the time is up or the terminal closed.
  Output Read(milliseconds wait) {
    pollfd readable{master_, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(wait.count())) <= 0) return {};
    const ssize_t count = ::read(master_, buffer_.data(), buffer_.size());
    if (count <= 0) {
      // The terminal has no program left: keep poll from returning at once.
      std::this_thread::sleep_for(wait);
      return {};
    }
    std::string bytes(buffer_.data(), static_cast<std::size_t>(count));
    std::string text = scanner_.Text(bytes);
    return {std::move(bytes), std::move(text)};
  }

  std::string ReadUntilQuiet(milliseconds quiet) {
    const auto deadline = Clock::now() + kPatience;
    std::string received;
    for (Output output = Read(quiet); !output.bytes.empty(); output = Read(quiet)) {
      received += output.bytes;
      if (Clock::now() > deadline) Fail("its output never stops");
    }
    return received;
  }

  // When the `count`th byte arrived.
  Clock::time_point ReadUntilCount(std::size_t count) {
    const auto deadline = Clock::now() + kPatience;
    std::size_t received = 0;
    while (received < count) {
      received += Read(milliseconds(10)).bytes.size();
      if (Clock::now() > deadline) {
        Fail("only " + std::to_string(received) + " of " + std::to_string(count) +
             " bytes arrived");
      }
    }
    return Clock::now();
  }

  // When `key` is drawn as text.
  Clock::time_point ReadUntilDrawn(char key) {
    const auto deadline = Clock::now() + kPatience;
    while (Read(milliseconds(10)).text.find(key) == std::string::npos) {
      if (Clock::now() > deadline) {
        Fail(std::string("the key typed, ") + key + ", is never shown");
      }
    }
    return Clock::now();
  }

  void Type(std::string_view keys) const {
    while (!keys.empty()) {
      const ssize_t written = ::write(master_, keys.data(), keys.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) Fail("typing failed");
      keys.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  // The exit status, or 128 + the signal.
  int WaitForExit() {
    const auto deadline = Clock::now() + kPatience;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) Fail("it never ends");
      Read(milliseconds(10));
    }
    ended_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error(name_ + ": " + what);
  }

  [[noreturn]] static void Exec(const std::vector<std::string>& command,
                                const std::string& directory) {
    if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(126);
    std::vector<char*> arguments;
    arguments.reserve(command.size() + 1);
    for (const std::string& argument : command) {
      arguments.push_back(const_cast<char*>(argument.c_str()));  // NOLINT: execvp's signature
    }
    arguments.push_back(nullptr);
    ::execvp(arguments[0], arguments.data());
    ::_exit(127);
  }

  std::string name_;
  pid_t pid_ = -1;
  int master_ = -1;
  bool ended_ = false;
  TextScanner scanner_;
  std::array<char, 16384> buffer_{};
};

std::string ReadText(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> Fields(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> fields;
  for (std::string field; stream >> field;) fields.push_back(field);
  return fields;
}

// ---- What the kernel counts for a process.

struct Counters {
  double cpu_us = 0;  // user and system time
  long switches = 0;  // voluntary and involuntary context switches
  long peak_kib = 0;  // VmHWM
};

// On-CPU time in nanoseconds from schedstat, else clock ticks from stat.
double CpuMicroseconds(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  const std::vector<std::string> schedstat = Fields(ReadText(proc + "/schedstat"));
  if (!schedstat.empty()) return std::stod(schedstat[0]) / 1000;
  const std::string stat = ReadText(proc + "/stat");
  // Fields counted from after the name, which may hold spaces: utime and stime
  // are the 12th and 13th.
  const std::vector<std::string> fields = Fields(stat.substr(stat.rfind(')') + 1));
  const double ticks = std::stod(fields.at(11)) + std::stod(fields.at(12));
  return ticks * 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

Counters ReadCounters(pid_t pid) {
  Counters counters;
  counters.cpu_us = CpuMicroseconds(pid);
  std::istringstream status(ReadText("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() < 2) continue;
    if (fields[0] == "voluntary_ctxt_switches:" || fields[0] == "nonvoluntary_ctxt_switches:") {
      counters.switches += std::stol(fields[1]);
    } else if (fields[0] == "VmHWM:") {
      counters.peak_kib = std::stol(fields[1]);
    }
  }
  return counters;
}

pid_t ChildOf(pid_t parent) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadText(entry.path() / "stat");
    const std::vector<std::string> fields = Fields(stat.substr(stat.rfind(')') + 1));
    if (fields.size() > 1 && std::stoi(fields[1]) == parent) return std::stoi(name);
  }
  throw std::runtime_error("strace started no program");
}

// ---- Reading strace's record (strace -f -y: file descriptors carry their path).

struct TracedCall {
  std::string name;
  std::string first_argument;
  std::string arguments;
  long result = -1;
  bool finished = true;
};

std::vector<TracedCall> ReadTrace(const std::string& path) {
  std::vector<TracedCall> calls;
  std::istringstream trace(ReadText(path));
  for (std::string line; std::getline(trace, line);) {
    const std::size_t start = line.find_first_not_of("0123456789 ");  // the process id
    if (start == std::string::npos || line[start] == '+' || line[start] == '-' ||
        line[start] == '<') {
      continue;  // an exit, a signal, or the end of a call interrupted in the record
    }
    const std::size_t open = line.find('(', start);
    if (open == std::string::npos) continue;
    TracedCall call;
    call.name = line.substr(start, open - start);
    call.first_argument = line.substr(open + 1, line.find(',', open) - open - 1);
    call.arguments = line.substr(open + 1);
    call.finished = line.find("<unfinished ...>") == std::string::npos;
    const std::size_t equals = line.rfind(" = ");  // after the call, padded with spaces
    if (call.finished && equals != std::string::npos) {
      call.result = std::strtol(line.c_str() + equals + 3, nullptr, 10);
    }
    calls.push_back(call);
  }
  return calls;
}

bool IsTerminal(std::string_view argument) {
  return argument.find("</dev/pts/") != std::string_view::npos ||
         argument.find("</dev/tty>") != std::string_view::npos;
}

bool IsWrite(const TracedCall& call) {
  return call.name == "write" || call.name == "writev" || call.name == "pwrite64" ||
         call.name == "pwritev";
}

const char* const kTracedCalls =
    "trace=write,writev,pwrite64,pwritev,read,readv,pread64,poll,ppoll,select,pselect6,"
    "epoll_wait,epoll_pwait,epoll_pwait2";

struct ScreenWrites {
  long calls = 0;
  long bytes = 0;
};

// The write() calls to the terminal before the program first blocks waiting
// for a key: it is killed once its output has stopped, and the call it was
// killed in must be a wait on the terminal.
ScreenWrites CountScreenWrites(const std::vector<std::string>& command, const std::string& trace) {
  std::vector<std::string> traced = {"strace", "-f", "-y", "-o", trace};
  traced.insert(traced.end(), {"-e", kTracedCalls, "-e", "signal=none"});
  traced.insert(traced.end(), command.begin(), command.end());
  {
    Session session(traced);
    session.ReadUntilQuiet(kScreenQuiet);
    ::kill(ChildOf(session.Pid()), SIGKILL);
    session.WaitForExit();
  }
  const std::vector<TracedCall> calls = ReadTrace(trace);
  if (calls.empty() || calls.back().finished || IsWrite(calls.back()) ||
      !IsTerminal(calls.back().arguments)) {
    throw std::runtime_error(command[0] + " was not waiting for a key on its terminal");
  }
  ScreenWrites writes;
  for (const TracedCall& call : calls) {
    if (!IsWrite(call) || !IsTerminal(call.first_argument) || call.result < 0) continue;
    ++writes.calls;
    writes.bytes += call.result;
  }
  return writes;
}

// ---- The comparison.

struct Program {
  std::string label;
  long stripped_size = 0;
  std::vector<std::string> command;
};

struct Figures {
  std::size_t screen_received = 0;  // bytes of the first screen on the terminal's side
  ScreenWrites screen;
  std::vector<double> start_us;
  std::vector<double> echo_us;
  double cpu_per_key_us = 0;
  Counters idle;
  long peak_kib = 0;
};

Program ParseProgram(const std::string& described) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t bar = described.find('|'); bar != std::string::npos;
       bar = described.find('|', start)) {
    parts.push_back(described.substr(start, bar - start));
    start = bar + 1;
  }
  parts.push_back(described.substr(start));
  if (parts.size() < 3) throw std::runtime_error("a program is label|size|program|arg...");
  return {parts[0], std::stol(parts[1]), {parts.begin() + 2, parts.end()}};
}

// The value at the given rank (0.5 for the median), the nearest one above.
double Percentile(std::vector<double> values, double rank) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(std::ceil(rank * static_cast<double>(values.size())));
  return values.at(std::max<std::size_t>(index, 1) - 1);
}

double TimeOneStart(const Program& program, std::size_t screen_bytes) {
  const auto start = Clock::now();
  Session session(program.command);
  return Microseconds(session.ReadUntilCount(screen_bytes) - start);
}

// Each program in turn, run after run, so that a slower moment of the
// machine falls on all of them alike.
void TimeStarts(const std::vector<Program>& programs, int runs, std::vector<Figures>& figures) {
  for (int run = 0; run < runs; ++run) {
    for (std::size_t index = 0; index < programs.size(); ++index) {
      figures[index].start_us.push_back(
          TimeOneStart(programs[index], figures[index].screen_received));
    }
  }
}

void DrainFor(const std::vector<std::unique_ptr<Session>>& sessions, Clock::duration period) {
  const auto end = Clock::now() + period;
  while (Clock::now() < end) {
    for (const auto& session : sessions) session->Read(milliseconds(0));
    std::this_thread::sleep_for(milliseconds(50));
  }
}

// Keys typed in turn: a, b, c... Once an answer fills its field, the field
// scrolls; with one same letter throughout, nothing would change on screen.
char NthKey(int key) {
  return static_cast<char>('a' + key % 26);
}

double TimeEcho(Session& session, char key) {
  const auto typed = Clock::now();
  session.Type(std::string(1, key));
  const auto shown = session.ReadUntilDrawn(key);
  session.ReadUntilQuiet(kEchoQuiet);
  return Microseconds(shown - typed);
}

// All programs run side by side: each waits the same 5 s, then takes the
// keys in turn, one key to each.
void MeasureSessions(const std::vector<Program>& programs, int keys,
                     std::vector<Figures>& figures) {
  std::vector<std::unique_ptr<Session>> sessions;
  sessions.reserve(programs.size());
  for (std::size_t index = 0; index < programs.size(); ++index) {
    sessions.push_back(std::make_unique<Session>(programs[index].command));
    sessions.back()->ReadUntilCount(figures[index].screen_received);
    sessions.back()->ReadUntilQuiet(kScreenQuiet);
  }
  std::vector<Counters> before;
  before.reserve(sessions.size());
  for (const auto& session : sessions) before.push_back(ReadCounters(session->Pid()));
  DrainFor(sessions, kIdle);
  for (std::size_t index = 0; index < sessions.size(); ++index) {
    const Counters after = ReadCounters(sessions[index]->Pid());
    figures[index].idle = {after.cpu_us - before[index].cpu_us,
                           after.switches - before[index].switches, 0};
    before[index] = after;
  }
  for (int key = 0; key < keys; ++key) {
    for (std::size_t index = 0; index < sessions.size(); ++index) {
      figures[index].echo_us.push_back(TimeEcho(*sessions[index], NthKey(key)));
    }
  }
  for (std::size_t index = 0; index < sessions.size(); ++index) {
    const Counters after = ReadCounters(sessions[index]->Pid());
    figures[index].cpu_per_key_us = (after.cpu_us - before[index].cpu_us) / keys;
    figures[index].peak_kib = after.peak_kib;
  }
}

// Counts as they are; other figures to three significant digits or so.
std::string Number(double value) {
  std::array<char, 32> text{};
  const char* format = "%.0f";
  if (value != std::round(value) && std::abs(value) < 10) {
    format = "%.2f";
  } else if (value != std::round(value) && std::abs(value) < 100) {
    format = "%.1f";
  }
  std::snprintf(text.data(), text.size(), format, value);
  return text.data();
}

std::string Cell(double value, double reference) {
  std::string cell = Number(value);
  if (reference != 0) cell += " (×" + Number(value / reference) + ")";
  return cell;
}

void PrintRow(const std::string& title, const std::vector<double>& values) {
  std::string row = "| " + title;
  for (const double value : values) row += " | " + Cell(value, values.back());
  std::printf("%s |\n", row.c_str());
}

template <typename Figure>
std::vector<double> Column(const std::vector<Figures>& figures, Figure figure) {
  std::vector<double> values;
  values.reserve(figures.size());
  for (const Figures& each : figures) values.push_back(figure(each));
  return values;
}

void PrintTable(const std::vector<Program>& programs, const std::vector<Figures>& figures, int runs,
                int keys) {
  std::string header = "| |";
  std::string rule = "|---|";
  for (const Program& program : programs) {
    header += " " + program.label + " |";
    rule += "---|";
  }
  std::printf("%s\n%s\n", header.c_str(), rule.c_str());
  const auto row = [&](const std::string& title, auto figure) {
    PrintRow(title, Column(figures, figure));
  };
  row("Start-up to the first screen, median of " + std::to_string(runs) + " runs (ms)",
      [](const Figures& f) { return Percentile(f.start_us, 0.5) / 1000; });
  row("First screen: bytes written",
      [](const Figures& f) { return static_cast<double>(f.screen.bytes); });
  row("First screen: write() calls",
      [](const Figures& f) { return static_cast<double>(f.screen.calls); });
  row("Echo of a key, p50 over " + std::to_string(keys) + " keys (µs)",
      [](const Figures& f) { return Percentile(f.echo_us, 0.5); });
  row("Echo of a key, p99 (µs)", [](const Figures& f) { return Percentile(f.echo_us, 0.99); });
  row("CPU time per key (µs)", [](const Figures& f) { return f.cpu_per_key_us; });
  row("Waiting 5 s for a key: CPU time (µs)", [](const Figures& f) { return f.idle.cpu_us; });
  row("Waiting 5 s for a key: wake-ups",
      [](const Figures& f) { return static_cast<double>(f.idle.switches); });
  row("Peak resident memory, VmHWM (KiB)",
      [](const Figures& f) { return static_cast<double>(f.peak_kib); });
  std::vector<double> sizes;
  sizes.reserve(programs.size());
  for (const Program& program : programs) {
    sizes.push_back(static_cast<double>(program.stripped_size) / 1024);
  }
  PrintRow("Executable file, stripped, shared libraries not counted (KiB)", sizes);
}

int Table(int runs, int keys, const std::string& trace, const std::vector<Program>& programs) {
  std::vector<Figures> figures(programs.size());
  for (std::size_t index = 0; index < programs.size(); ++index) {
    figures[index].screen_received =
        Session(programs[index].command).ReadUntilQuiet(kScreenQuiet).size();
    figures[index].screen = CountScreenWrites(programs[index].command, trace);
  }
  TimeStarts(programs, runs, figures);
  MeasureSessions(programs, keys, figures);
  PrintTable(programs, figures, runs, keys);
  return 0;
}

// ---- The first screen alone.

int Screen(const std::string& format, const std::string& output,
           const std::vector<std::string>& command) {
  const std::string screen = Session(command).ReadUntilQuiet(kScreenQuiet);
  if (screen.empty()) throw std::runtime_error(command[0] + " shows nothing");
  std::ofstream file(output, std::ios::binary);
  if (format == "raw") {
    file << screen;
  } else {
    for (std::size_t index = 0; index < screen.size(); ++index) {
      std::array<char, 8> byte{};
      std::snprintf(byte.data(), byte.size(), "0x%02x,", static_cast<unsigned char>(screen[index]));
      file << byte.data() << ((index + 1) % 16 == 0 ? "\n" : " ");
    }
    file << "\n";
  }
  return file ? 0 : 1;
}

// ---- One page.

// The answers behind tests/fixtures/Jean Dupont.htm as typed, each ended by
// Enter, then Enter on the closing screen.
constexpr std::string_view kAnswersTyped =
    "Dupont\rJean\r12 rue des Lilas, 75011 Paris\rjean.dupont@example.fr\rjd@example.org\r"
    "01 23 45 67 89\r06 12 34 56 78\r14/07/1985\rPassionn\xc3\xa9 de photo & de jazz\r"
    "photo.jpg\rD\r\r";

int Page(const std::string& program, const std::string& folder, const std::string& trace) {
  int status = 0;
  {
    Session session(
        {"strace", "-f", "-y", "-o", trace, "-e",
         "trace=openat,write,writev,fsync,fdatasync,rename,renameat,renameat2", program},
        folder + "/app");
    session.ReadUntilQuiet(kScreenQuiet);
    for (std::string_view rest = kAnswersTyped; !rest.empty();) {
      const std::size_t line_end = rest.find('\r') + 1;
      session.Type(rest.substr(0, line_end));
      rest.remove_prefix(line_end);
      session.ReadUntilQuiet(milliseconds(100));
    }
    status = session.WaitForExit();
  }
  ScreenWrites page;
  long syncs = 0;
  long renames = 0;
  for (const TracedCall& call : ReadTrace(trace)) {
    if (IsWrite(call) && call.first_argument.find("/personnes/") != std::string::npos) {
      ++page.calls;
      page.bytes += std::max(call.result, 0L);
    }
    if (call.name == "fsync" || call.name == "fdatasync") ++syncs;
    if (call.name.starts_with("rename")) ++renames;
  }
  std::printf(
      "One page, typed in full: %ld write() calls, %ld bytes, %ld fsync, %ld rename; "
      "exit status %d.\n",
      page.calls, page.bytes, syncs, renames, status);
  return status;
}

int Usage() {
  std::fprintf(stderr,
               "usage: compare screen raw|c OUTPUT PROGRAM [ARG...]\n"
               "       compare table RUNS KEYS TRACE label|size|program|arg...\n"
               "       compare page PROGRAM FOLDER TRACE\n");
  return 2;
}

int Run(const std::vector<std::string>& arguments) {
  if (arguments.size() >= 4 && arguments[0] == "screen") {
    return Screen(arguments[1], arguments[2], {arguments.begin() + 3, arguments.end()});
  }
  if (arguments.size() >= 5 && arguments[0] == "table") {
    std::vector<Program> programs;
    for (auto described = arguments.begin() + 4; described != arguments.end(); ++described) {
      programs.push_back(ParseProgram(*described));
    }
    return Table(std::stoi(arguments[1]), std::stoi(arguments[2]), arguments[3], programs);
  }
  if (arguments.size() == 4 && arguments[0] == "page") {
    return Page(arguments[1], arguments[2], arguments[3]);
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  // The same terminal for every program, whatever the bench was started from.
  ::setenv("TERM", "xterm-256color", 1);
  ::setenv("LANG", "C.UTF-8", 1);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  try {
    return Run({argv + 1, argv + argc});
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "compare: %s\n", failure.what());
    return 1;
  }
}
