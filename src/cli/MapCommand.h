#pragma once

#include <string>
#include <vector>

namespace sondralis::cli {

// sondralis-cli map: the window's whole job in one command. Returns the exit
// status; throws UsageError or CommandFailure (cli/CommandSupport.h).
int RunMap(const std::vector<std::string>& args);

}  // namespace sondralis::cli
