#pragma once

// The synthetic lake of the benchmarks, made by scripts/make-lake.py on first
// use and kept in /tmp between runs: a survey at `rate` readings per second
// (10 gives about 143 000 points) beside its shoreline.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace sondralis::bench {

// The folder holding lake_survey.gpx, lake_shore.gpx and lake_shore.kml.
inline std::string BenchLakeDir(int rate) {
  const std::string dir = "/tmp/sondralis-bench-lake-" + std::to_string(rate) + "hz";
  if (!std::filesystem::exists(dir + "/lake_survey.gpx")) {
    const std::string cmd = "python3 '" SONDRALIS_SOURCE_DIR "/scripts/make-lake.py' '" + dir + "' --rate " +
                            std::to_string(rate) + " >/dev/null";
    if (std::system(cmd.c_str()) != 0) std::cerr << "could not run scripts/make-lake.py\n";
  }
  return dir;
}

inline std::string BenchLakeSurvey(int rate) { return BenchLakeDir(rate) + "/lake_survey.gpx"; }

}  // namespace sondralis::bench
