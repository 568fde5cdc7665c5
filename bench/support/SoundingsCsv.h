#pragma once

// A big soundings file for the benchmarks: a boat wandering over a lake at
// one reading a second, as `lon,lat,depth_m,time` lines, made on first use
// and kept in /tmp between runs.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace sondralis::bench {

inline std::string SoundingsCsv(long long lines) {
  const std::string path = "/tmp/sondralis-bench-soundings-" + std::to_string(lines) + ".csv";
  if (std::filesystem::exists(path)) return path;
  const std::string tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) return {};
  std::fputs("lon,lat,depth_m,time\n", f);
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0, 0.06);
  double e = 0, n = 0, heading = 0;
  for (long long i = 0; i < lines; ++i) {
    heading += std::uniform_real_distribution<double>(-0.05, 0.05)(rng);
    e += 2.6 * std::cos(heading);
    n += 2.6 * std::sin(heading);
    const double depth = 8 + 6 * std::sin(e / 300) * std::cos(n / 200) + noise(rng);
    const long long s = i;
    std::fprintf(f, "%.7f,%.7f,%.2f,2026-06-%02lldT%02lld:%02lld:%02lldZ\n", 8.642 + e / 75600.0, 47.216 + n / 111320.0,
                 depth, 13 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60);
  }
  std::fclose(f);
  std::filesystem::rename(tmp, path);
  return path;
}

}  // namespace sondralis::bench
