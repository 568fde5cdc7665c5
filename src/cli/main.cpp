// sondralis-cli: the batch front end over the core operations.
#include <libintl.h>

#include <cstring>
#include <iostream>
#include <string_view>

#include "model/Text.h"

namespace {

constexpr const char* kUsage =
    "Usage: sondralis-cli [--version] [--help]\n"
    "\n"
    "Turns echo-sounder recordings into depth maps for Humminbird units.\n"
    "\n"
    "Options:\n"
    "  --version   print the version and exit\n"
    "  --help      print this text and exit\n";

}  // namespace

int main(int argc, char** argv) {
  bindtextdomain(sondralis::kTextDomain, nullptr);
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::cout << "sondralis-cli " << SONDRALIS_VERSION << "\n";
    return 0;
  }
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  std::cerr << kUsage;
  return 2;
}
