#pragma once

#include <string>
#include <vector>

namespace sondralis::cli {

// sondralis-cli validate: how good the depth map of the inputs is, by
// holding folds of the soundings out. Returns the exit status; throws
// UsageError or CommandFailure (cli/CommandSupport.h).
int RunValidate(const std::vector<std::string>& args);

}  // namespace sondralis::cli
