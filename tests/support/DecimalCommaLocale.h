#pragma once

// Switches the process to a locale whose decimal separator is a comma for
// the lifetime of the object, so tests can show that numbers in files and
// coordinate texts keep their point. Both the C locale (printf, strtod) and
// the global C++ locale (streams) are switched. If no comma locale is
// installed, one is compiled with localedef into a temporary folder.

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <string>

namespace sondralis::testing {

class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    fOldC = std::setlocale(LC_ALL, nullptr);
    fOldCpp = std::locale();
    if (!TrySet()) {
      // Compile the locale once into a cache folder shared by all test
      // processes; build under a private name and rename, so a parallel
      // test never sees a half-written locale.
      const auto cache = std::filesystem::temp_directory_path() / "sondralis-test-locales";
      const auto target = cache / "de_DE.UTF-8";
      std::error_code ec;
      if (!std::filesystem::exists(target, ec)) {
        std::filesystem::create_directories(cache, ec);
        const auto tmp = cache / ("build-" + std::to_string(::getpid()));
        const std::string cmd = "localedef -i de_DE -f UTF-8 '" + tmp.string() + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) std::filesystem::rename(tmp, target, ec);
        std::filesystem::remove_all(tmp, ec);
      }
      ::setenv("LOCPATH", cache.c_str(), 1);
      TrySet();
    }
    std::locale::global(std::locale(std::locale(), new CommaPunct));
  }
  ~DecimalCommaLocale() {
    std::setlocale(LC_ALL, fOldC.c_str());
    std::locale::global(fOldCpp);
  }
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

  // True when the C library's locale uses the comma too.
  bool CLocaleSwitched() const { return fCSwitched; }

 private:
  struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
  };

  bool TrySet() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
      if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') return fCSwitched = true;
    }
    return false;
  }

  std::string fOldC;
  std::locale fOldCpp;
  bool fCSwitched = false;
};

}  // namespace sondralis::testing
