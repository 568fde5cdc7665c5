// sondralis-cli: the batch front end over the core operations.
#include <libintl.h>

#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Interrupts.h"
#include "model/Text.h"

int main(int argc, char** argv) {
  sondralis::cli::RemoveTemporariesOnInterrupt();
  bindtextdomain(sondralis::kTextDomain, nullptr);
  return sondralis::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
