// How well the corrections find what scripts/make-lake.py put into a survey.
//
//   measure_corrections despike TRUTH.json FILE.gpx... [--k K --t T --a A]
//       spikes found and good readings lost, for the given window, factor
//       and floor (the defaults of TDespikeOptions when not given)
//   measure_corrections despike-sweep TRUTH.json FILE.gpx...
//       the same over a grid of K, T and A, one line each
//   measure_corrections levels TRUTH.json FILE.gpx... [--despike] [--radius M] [--few N]
//       [--overlap-radius M] [--dump CROSSINGS.csv]
//       the offset estimated for each session against the truth
//   measure_corrections read FILE.csv
//       reads a soundings file and prints how many soundings it held (for
//       whole-process timings beside other programs)
//
// Files are loaded as "Add Files..." loads them (readings of 0 removed).
// The truth is the JSON that make-lake.py writes with --truth.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "corrections/Despike.h"
#include "corrections/LevelEstimate.h"
#include "corrections/Readings.h"
#include "corrections/SurveySessions.h"
#include "formats/GPXFile.h"
#include "formats/GPXTime.h"
#include "formats/SoundingsFile.h"
#include "formats/SourceTracks.h"

namespace sondralis {
namespace {

struct Truth {
  std::map<std::string, double> Offsets;  // by session name
  std::set<TDateTime> SpikeTimes;
};

Truth ReadTruth(const char* path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
  Truth t;
  for (const QJsonValue& s : root["sessions"].toArray())
    t.Offsets[s["name"].toString().toStdString()] = s["offset_cm"].toDouble();
  for (const QJsonValue& s : root["spikes"].toArray())
    t.SpikeTimes.insert(ISO8601ToDateTime(s["time"].toString().toStdString()));
  return t;
}

// A file loaded as the window loads it, in a document of its own.
struct Loaded {
  std::string Name;
  std::unique_ptr<TGPX> Doc;
};

std::vector<Loaded> Load(const std::vector<std::string>& paths) {
  std::vector<Loaded> out;
  for (const std::string& path : paths) {
    Loaded l{std::filesystem::path(path).filename().string(), std::make_unique<TGPX>()};
    const SourceReadResult r = ReadSourceDocument(path, *l.Doc);
    if (!r.Loaded) {
      std::fprintf(stderr, "%s\n", r.Error.c_str());
      std::exit(2);
    }
    if (GetMaxDepth(*l.Doc) != 0) RemoveZeroDepths(*l.Doc);
    out.push_back(std::move(l));
  }
  return out;
}

struct SpikeScore {
  long long Spikes = 0, Found = 0, Good = 0, Lost = 0;
};

SpikeScore ScoreDespike(std::vector<Loaded>& files, const Truth& truth, const TDespikeOptions& options) {
  SpikeScore s;
  std::vector<double> depths;
  std::vector<bool> isSpike;
  for (Loaded& f : files)
    ForEachRecording(*f.Doc, [&](TGPXtrkseg& segment) {
      depths.clear();
      isSpike.clear();
      for (const TPoint4D2* p : segment) {
        depths.push_back(p->HBdepth);
        isSpike.push_back(truth.SpikeTimes.count(p->DateTime) > 0);
      }
      const std::vector<bool> flagged = FindSpikes(depths, options);
      for (std::size_t i = 0; i < depths.size(); ++i) {
        if (isSpike[i]) {
          ++s.Spikes;
          s.Found += flagged[i];
        } else {
          ++s.Good;
          s.Lost += flagged[i];
        }
      }
    });
  return s;
}

void PrintScore(const TDespikeOptions& o, const SpikeScore& s) {
  std::printf("k=%d T=%g A=%g: spikes %lld, removed %lld (%.2f %%); good readings %lld, removed %lld (%.3f %%)\n", o.K,
              o.T, o.A, s.Spikes, s.Found, s.Spikes ? 100.0 * s.Found / s.Spikes : 100.0, s.Good, s.Lost,
              s.Good ? 100.0 * s.Lost / s.Good : 0.0);
}

int Usage() {
  std::fprintf(stderr,
               "usage: measure_corrections despike|despike-sweep|levels TRUTH.json FILE.gpx... [options]\n"
               "       measure_corrections read FILE.csv\n");
  return 2;
}

int Main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  if (mode == "read") {
    TGPX doc;
    const TSoundingsReadResult r = ReadSoundingsFile(argv[2], doc);
    for (const std::string& w : r.Warnings) std::fprintf(stderr, "%s\n", w.c_str());
    if (!r.Loaded) {
      std::fprintf(stderr, "%s\n", r.Error.c_str());
      return 1;
    }
    std::printf("%lld soundings\n", r.Soundings);
    return 0;
  }
  if (argc < 4) return Usage();
  const Truth truth = ReadTruth(argv[2]);
  std::vector<std::string> paths;
  TDespikeOptions despike;
  TLevelEstimateOptions levels;
  bool despikeFirst = false;
  std::string dump;  // where to write the crossings as CSV
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&] { return i + 1 < argc ? std::atof(argv[++i]) : 0.0; };
    if (a == "--k") despike.K = static_cast<int>(value());
    else if (a == "--t") despike.T = value();
    else if (a == "--a") despike.A = value();
    else if (a == "--radius") levels.Radius = value();
    else if (a == "--gps") levels.PositionError = value();
    else if (a == "--short-reach") levels.ShortReach = value();
    else if (a == "--gps-time") levels.PositionTime = value();
    else if (a == "--few") levels.FewCrossings = static_cast<int>(value());
    else if (a == "--overlap-radius") levels.OverlapRadius = value();
    else if (a == "--despike") despikeFirst = true;
    else if (a == "--dump" && i + 1 < argc) dump = argv[++i];
    else paths.push_back(a);
  }
  std::vector<Loaded> files = Load(paths);

  if (mode == "despike") {
    PrintScore(despike, ScoreDespike(files, truth, despike));
    return 0;
  }
  if (mode == "despike-sweep") {
    for (int k : {2, 3, 4, 5})
      for (double t : {1.5, 2.0, 2.5, 3.0, 4.0, 6.0})
        for (double a : {30.0, 50.0, 80.0}) {
          const TDespikeOptions o{.K = k, .T = t, .A = a};
          PrintScore(o, ScoreDespike(files, truth, o));
        }
    return 0;
  }
  if (mode == "levels") {
    std::vector<TSurveySession> sessions;
    for (Loaded& f : files) {
      if (despikeFirst) Despike(*f.Doc, despike);
      for (TSurveySession& s : SplitSessions(*f.Doc, f.Name)) sessions.push_back(std::move(s));
    }
    TSilentFeedback feedback;
    const TLevelEstimate estimate = EstimateLevels(sessions, levels, feedback);
    if (!dump.empty()) {
      std::FILE* f = std::fopen(dump.c_str(), "w");
      std::fprintf(f, "lat,lon,a,b,depth_a,depth_b,distance,sigma,overlap\n");
      for (const TCrossing& c : estimate.Crossings)
        std::fprintf(f, "%.8f,%.8f,%d,%d,%.2f,%.2f,%.2f,%.2f,%d\n", c.Latitude, c.Longitude, c.SessionA, c.SessionB,
                     c.DepthA, c.DepthB, c.Distance, c.SigmaCm, c.Overlap ? 1 : 0);
      std::fclose(f);
    }
    double worst = 0;
    for (const TSessionLevel& s : estimate.Sessions) {
      const auto it = truth.Offsets.find(s.Name);
      const double expected = it == truth.Offsets.end() ? NAN : it->second;
      if (!s.Estimated) {
        std::printf("%s: true %+.0f cm, not estimated (no crossing links it to the first session)\n", s.Name.c_str(),
                    expected);
        continue;
      }
      const double error = s.OffsetCm - expected;
      if (std::isfinite(error)) worst = std::max(worst, std::fabs(error));
      std::printf("%s: true %+.0f cm, estimated %+.1f cm (error %+.1f, std error %.1f) from %d crossings, residual %.1f cm\n",
                  s.Name.c_str(), expected, s.OffsetCm, error, s.StdErrorCm, s.Crossings, s.ResidualCm);
    }
    std::printf("worst error %.1f cm over %zu sessions, %zu crossings\n", worst, estimate.Sessions.size(),
                estimate.Crossings.size());
    return 0;
  }
  return Usage();
}

}  // namespace
}  // namespace sondralis

int main(int argc, char** argv) { return sondralis::Main(argc, argv); }
