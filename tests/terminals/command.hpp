// Runs another program to its end, without a shell in between.
#pragma once

#include <string>
#include <vector>

namespace pagiste::testing {

struct CommandResult {
  int status = -1;     // exit status, or 128 + the signal
  std::string output;  // standard output; standard error goes to the tests' own
};

// Replaces this process with the program named first (searched in PATH).
[[noreturn]] void ExecArguments(std::vector<std::string> arguments);

// The environment is the tests' own plus `environment` ("NAME=value").
CommandResult RunCommand(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {});

}  // namespace pagiste::testing
