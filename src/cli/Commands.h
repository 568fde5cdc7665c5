#pragma once

#include <string>
#include <vector>

namespace sondralis::cli {

// Runs sondralis-cli with its arguments (without the program name) and
// returns the exit status: 0 success, 1 failure, 2 wrong usage.
int RunCli(const std::vector<std::string>& args);

}  // namespace sondralis::cli
