#include "terminals/terminal_session.hpp"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace pagiste::testing {

std::string UniqueName(std::string_view prefix) {
  static int counter = 0;
  return std::string(prefix) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

std::vector<std::string> ProgramRecordingItsStatus(const std::string& status_file) {
  return {"/bin/sh", "-c", R"("$0"; echo $? > "$1")", PAGISTE_PROGRAM, status_file};
}

int WaitForRecordedStatus(const std::string& status_file, const std::function<void()>& meanwhile) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    std::ifstream file(status_file);
    std::stringstream text;
    text << file.rdbuf();
    // Complete once its line end is there.
    if (text.str().ends_with('\n')) return std::stoi(text.str());
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    meanwhile();
  }
}

}  // namespace pagiste::testing
