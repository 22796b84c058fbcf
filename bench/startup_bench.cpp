// Start-up time: how long a program takes from fork to its first screen on a
// pseudo-terminal, over many runs. Prints the median and the mean.
//   startup_bench PROGRAM BYTES [RUNS]
// BYTES is the size of the first screen: the clock stops once that many
// bytes have arrived.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double TimeOneStart(const char* program, std::size_t screen_bytes) {
  winsize size{};
  size.ws_row = 25;
  size.ws_col = 80;
  int master = -1;
  const auto start = Clock::now();
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    ::execl(program, program, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::size_t received = 0;
  std::array<char, 4096> buffer{};
  while (received < screen_bytes) {
    pollfd readable{master, POLLIN, 0};
    if (::poll(&readable, 1, 2000) <= 0) break;
    const ssize_t count = ::read(master, buffer.data(), buffer.size());
    if (count <= 0) break;
    received += static_cast<std::size_t>(count);
  }
  const auto elapsed = Clock::now() - start;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(master);
  if (received < screen_bytes) {
    std::fprintf(stderr, "%s: only %zu of %zu bytes\n", program, received, screen_bytes);
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(elapsed).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PROGRAM BYTES [RUNS]\n", argv[0]);
    return 2;
  }
  const auto screen_bytes = static_cast<std::size_t>(std::atol(argv[2]));
  const int runs = argc > 3 ? std::atoi(argv[3]) : 200;
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) times.push_back(TimeOneStart(argv[1], screen_bytes));
  std::sort(times.begin(), times.end());
  const double mean =
      std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
  std::printf("%-40s median %7.1f us   mean %7.1f us   (%d runs)\n", argv[1],
              times[times.size() / 2], mean, runs);
  return 0;
}
