// sondralis-cli: the batch front end over the core operations.
#include <libintl.h>

#include <csignal>

#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Interrupts.h"
#include "model/Text.h"

int main(int argc, char** argv) {
  // A file size limit (ulimit -f) would end the process silently in the
  // middle of a write; ignored, the write fails with EFBIG instead and is
  // reported, and its temporary removed, like any other write error.
  std::signal(SIGXFSZ, SIG_IGN);
  sondralis::cli::RemoveTemporariesOnInterrupt();
  bindtextdomain(sondralis::kTextDomain, nullptr);
  return sondralis::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
