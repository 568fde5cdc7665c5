#pragma once

// Documents, files and byte strings for the HT tests.

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "model/GPX.h"

namespace sondralis::testing {

inline TGPXtrk* AddTrack(TGPX& doc) {
  auto* track = new TGPXtrk;
  doc.trk.Add(track);
  return track;
}

inline TGPXtrkseg* AddSeg(TGPXtrk* track) {
  auto* seg = new TGPXtrkseg;
  track->Add(seg);
  return seg;
}

inline TGPXwpt* AddPoint(TGPXtrkseg* seg, double lat, double lon, double depth = 0) {
  auto* p = new TGPXwpt;
  p->Latitude = lat;
  p->Longitude = lon;
  p->HBdepth = depth;
  seg->Add(p);
  return p;
}

// A segment of `points` points on a short straight line (steps of 1e-5
// degrees, about a metre), starting at `lat`.
inline TGPXtrkseg* AddLine(TGPXtrk* track, int points, double lat = 47.5, double lon = 8.25, double depth = 500) {
  TGPXtrkseg* seg = AddSeg(track);
  seg->Reserve(points);
  for (int i = 0; i < points; ++i) AddPoint(seg, lat + i * 1e-5, lon + i * 1e-5, depth);
  return seg;
}

// "01 03 FF" -> the three bytes; blanks and line breaks are ignored.
inline std::string Hex(std::string_view text) {
  std::string out;
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Big-endian fields of an HT file.
inline int HTWord(const std::string& bytes, std::size_t offset) {
  return (static_cast<unsigned char>(bytes[offset]) << 8) | static_cast<unsigned char>(bytes[offset + 1]);
}
inline std::int32_t HTLong(const std::string& bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return static_cast<std::int32_t>(v);
}

// A fresh folder per test process, removed afterwards.
class TempDir {
 public:
  explicit TempDir(const std::string& tag)
      : fPath(std::filesystem::temp_directory_path() / ("sondralis-" + tag + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(fPath);
    std::filesystem::create_directories(fPath);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(fPath, ec);
  }
  std::string operator/(const std::string& name) const { return (fPath / name).string(); }
  int FileCount() const {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(fPath), std::filesystem::directory_iterator()));
  }

 private:
  std::filesystem::path fPath;
};

}  // namespace sondralis::testing
