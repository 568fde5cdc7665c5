#include "formats/SoundingsFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "formats/TextFields.h"
#include "model/Text.h"

namespace sondralis {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimField(std::string_view f) {
  while (!f.empty() && IsBlank(f.front())) f.remove_prefix(1);
  while (!f.empty() && IsBlank(f.back())) f.remove_suffix(1);
  if (f.size() >= 2 && (f.front() == '"' || f.front() == '\'') && f.back() == f.front()) {
    f.remove_prefix(1);
    f.remove_suffix(1);
  }
  return f;
}

// Splits a line into its fields; at most `needed` fields are looked at.
// Returns the number of fields found (up to `needed`).
int SplitFields(std::string_view line, char separator, std::string_view* fields, int needed) {
  int n = 0;
  if (separator == ' ') {
    std::size_t i = 0;
    while (n < needed) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      if (i >= line.size()) break;
      const std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      fields[n++] = TrimField(line.substr(start, i - start));
    }
    return n;
  }
  std::size_t start = 0;
  while (n < needed) {
    const std::size_t end = line.find(separator, start);
    fields[n++] = TrimField(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return n;
}

// Words of a header field: letters and digits, everything else separates
// them ("Depth (cm)" -> "depth", "cm").
std::vector<std::string> HeaderWords(std::string_view field) {
  std::vector<std::string> words;
  std::string word;
  for (char c : field) {
    const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9')) {
      word += l;
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string Shorten(std::string_view text) {
  constexpr std::size_t kShown = 80;
  if (text.size() <= kShown) return std::string(text);
  return std::string(text.substr(0, kShown)) + "...";
}

}  // namespace

bool IsSoundingsFile(const std::string& path) {
  const std::string ext = ToLowerAscii(std::filesystem::path(path).extension().string());
  return ext == ".csv" || ext == ".xyz";
}

TSoundingsColumns SoundingsColumnsOf(std::string_view HeaderLine) {
  TSoundingsColumns c;
  if (HeaderLine.find('\t') != std::string_view::npos) c.Separator = '\t';
  else if (HeaderLine.find(';') != std::string_view::npos) c.Separator = ';';
  else if (HeaderLine.find(',') != std::string_view::npos) c.Separator = ',';
  else c.Separator = ' ';

  constexpr int kMaxColumns = 256;
  std::vector<std::string_view> fields(kMaxColumns);
  const int n = SplitFields(HeaderLine, c.Separator, fields.data(), kMaxColumns);
  // A long name (longitude) beats a short one (x); the first of equals wins.
  int rank[3] = {0, 0, 0};
  auto take = [&](int role, int& column, int r, int index) {
    if (r > rank[role]) {
      rank[role] = r;
      column = index;
    }
  };
  std::string depthUnit;
  for (int i = 0; i < n; ++i) {
    const std::vector<std::string> w = HeaderWords(fields[static_cast<std::size_t>(i)]);
    if (w.empty()) continue;
    const std::string& name = w[0];
    if (name == "lon" || name == "long" || name == "longitude" || name == "lng") take(0, c.Longitude, 2, i);
    else if (name == "x" && w.size() == 1) take(0, c.Longitude, 1, i);
    else if (name == "lat" || name == "latitude") take(1, c.Latitude, 2, i);
    else if (name == "y" && w.size() == 1) take(1, c.Latitude, 1, i);
    else if (name == "depth" || name == "z") {
      const int r = name == "depth" ? 2 : 1;
      if (r > rank[2]) depthUnit = w.size() > 1 ? w[1] : std::string();
      take(2, c.Depth, r, i);
    } else if (c.Time < 0 && (name == "time" || name == "datetime" || name == "timestamp" ||
                               (name == "date" && w.size() > 1 && w[1] == "time")))
      c.Time = i;
  }
  std::string missing;
  for (auto [column, what] : {std::pair{c.Longitude, "longitude (lon, long, longitude or x)"},
                              std::pair{c.Latitude, "latitude (lat, latitude or y)"},
                              std::pair{c.Depth, "depth (depth or z)"}})
    if (column < 0) missing += std::string(missing.empty() ? "" : ", ") + what;
  if (!missing.empty()) {
    c.Problem = "the header names no column for " + missing + ": " + Quoted(Shorten(Trim(HeaderLine)));
    return c;
  }
  if (depthUnit.empty() || depthUnit == "m" || depthUnit == "meters" || depthUnit == "metres") c.DepthToCm = 100;
  else if (depthUnit == "cm") c.DepthToCm = 1;
  else if (depthUnit == "ft" || depthUnit == "feet") c.DepthToCm = 30.48;
  else
    c.Problem = "the unit of the depth column " + Quoted(TrimField(fields[static_cast<std::size_t>(c.Depth)])) +
                " is not known (m, cm or ft)";
  return c;
}

namespace {

// Reads the soundings line by line from an open file into a segment.
class TSoundingsReader {
 public:
  TSoundingsReader(const std::string& path, TGPXtrkseg& segment, TSoundingsReadResult& result)
      : fPath(path), fSegment(segment), fResult(result) {}

  // False with result.Error set when the header is missing or unusable.
  bool Read(std::FILE* file) {
    constexpr std::size_t kChunk = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[kChunk + kMaxSoundingsLineBytes]);
    std::size_t held = 0;     // bytes of an unfinished line at the front
    bool skipping = false;    // inside a line that is too long
    bool first = true;
    for (;;) {
      const std::size_t got = std::fread(buffer.get() + held, 1, kChunk, file);
      if (got == 0) break;
      char* data = buffer.get();
      std::size_t size = held + got;
      std::size_t start = 0;
      if (first) {
        first = false;
        if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) start = 3;
      }
      for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        if (!nl) break;
        const std::size_t end = static_cast<std::size_t>(nl - data);
        if (skipping) skipping = false;
        else if (!Line(std::string_view(data + start, end - start))) return false;
        start = end + 1;
      }
      // The unfinished rest moves to the front, unless it is too long
      // already: then the line is counted and its rest passed over.
      held = size - start;
      if (held > kMaxSoundingsLineBytes) {
        if (!skipping && !LongLine(std::string_view(data + start, held))) return false;
        skipping = true;
        held = 0;
      } else {
        std::memmove(data, data + start, held);
      }
    }
    if (std::ferror(file)) {
      fResult.Error = fPath + ": the file could not be read to its end";
      return false;
    }
    if (held > 0 && !skipping && !Line(std::string_view(buffer.get(), held))) return false;
    if (fColumns.Depth < 0) {
      fResult.Error = fPath + ": the file is empty; a header naming longitude, latitude and depth columns is needed";
      return false;
    }
    return true;
  }

 private:
  bool LongLine(std::string_view start) {
    ++fLine;
    if (fColumns.Depth < 0) {
      fResult.Error = fPath + ": the header line is longer than " + std::to_string(kMaxSoundingsLineBytes) + " bytes";
      return false;
    }
    fResult.BadLines.Add(Quoted(Shorten(start)), -1);
    if (fResult.BadLines.Count == 1) fResult.BadLines.FirstLine = fLine;
    return true;
  }

  bool Line(std::string_view line) {
    ++fLine;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxSoundingsLineBytes) return LongLine(line);
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == '#') return true;
    if (fColumns.Depth < 0) return Header(line);
    if (!Sounding(line)) {
      fResult.BadLines.Add(Quoted(Shorten(t)), -1);
      if (fResult.BadLines.Count == 1) fResult.BadLines.FirstLine = fLine;
    }
    return true;
  }

  bool Header(std::string_view line) {
    fColumns = SoundingsColumnsOf(line);
    if (!fColumns.Problem.empty()) {
      fResult.Error = fPath + ": " + fColumns.Problem;
      fColumns.Depth = -1;
      return false;
    }
    fNeeded = 1 + std::max({fColumns.Longitude, fColumns.Latitude, fColumns.Depth, fColumns.Time});
    fFields.resize(static_cast<std::size_t>(fNeeded));
    fDecimalComma = fColumns.Separator != ',';
    return true;
  }

  bool Sounding(std::string_view line) {
    if (SplitFields(line, fColumns.Separator, fFields.data(), fNeeded) < fNeeded) return false;
    double lon, lat, depth;
    if (!ReadDecimalField(fFields[static_cast<std::size_t>(fColumns.Longitude)], fDecimalComma, lon) ||
        !ReadDecimalField(fFields[static_cast<std::size_t>(fColumns.Latitude)], fDecimalComma, lat) ||
        !ReadDecimalField(fFields[static_cast<std::size_t>(fColumns.Depth)], fDecimalComma, depth))
      return false;
    if (std::fabs(lat) > 90 || std::fabs(lon) > 180) return false;
    TDateTime time = 0;
    if (fColumns.Time >= 0 && !ReadIsoTimeField(fFields[static_cast<std::size_t>(fColumns.Time)], time)) return false;
    TGPXwpt* p = fSegment.NewPoint();
    p->Latitude = lat;
    p->Longitude = lon;
    // Metres and feet to centimetres, without the binary noise of the
    // multiplication (3.45 m is 345 cm, not 345.00000000000006).
    const double cm = depth * fColumns.DepthToCm;
    p->HBdepth = fColumns.DepthToCm == 1 ? cm : std::round(cm * 1e4) / 1e4;
    p->DateTime = time;
    return true;
  }

  const std::string& fPath;
  TGPXtrkseg& fSegment;
  TSoundingsReadResult& fResult;
  TSoundingsColumns fColumns;
  std::vector<std::string_view> fFields;
  int fNeeded = 0;
  bool fDecimalComma = false;
  long long fLine = 0;
};

}  // namespace

TSoundingsReadResult ReadSoundingsFile(const std::string& Path, TGPX& Doc) {
  TSoundingsReadResult result;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(Path.c_str(), "rb"), &std::fclose);
  if (!file) {
    result.Error = Path + ": " + std::strerror(errno);
    return result;
  }
  auto track = std::make_unique<TGPXtrk>();
  track->Edit().name = std::filesystem::path(Path).stem().string();
  auto* segment = new TGPXtrkseg;
  track->Add(segment);
  TSoundingsReader reader(Path, *segment, result);
  if (!reader.Read(file.get())) return result;

  result.Soundings = segment->Count();
  if (result.BadLines.Count > 0)
    result.Warnings.push_back(Path + ": " + std::to_string(result.BadLines.Count) +
                              (result.BadLines.Count == 1 ? " line" : " lines") + " could not be read, first at line " +
                              std::to_string(result.BadLines.FirstLine) + ": " + result.BadLines.First);
  if (result.Soundings == 0) {
    result.Error = Path + ": the file holds no soundings";
    return result;
  }
  // Depths written as elevations below the surface: all negative.
  const bool anyPositive = std::any_of(segment->begin(), segment->end(), [](const TPoint4D2* p) { return p->HBdepth > 0; });
  const bool anyNegative = std::any_of(segment->begin(), segment->end(), [](const TPoint4D2* p) { return p->HBdepth < 0; });
  if (!anyPositive && anyNegative) {
    for (TPoint4D2* p : *segment) p->HBdepth = -p->HBdepth + 0.0;  // + 0.0: no negative zero
    result.NegatedDepths = true;
    result.Warnings.push_back(Path + ": every depth is negative; read as depths below the surface");
  }
  segment->ShrinkToFit();
  segment->filled = true;
  Doc.trk.Add(track.release());
  Doc.trk.filled = true;
  result.Loaded = true;
  return result;
}

}  // namespace sondralis
