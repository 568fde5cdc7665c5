// Loading and writing a big echo-sounder recording, beside gpsbabel doing
// the same read and write.
//
//   build/bench/formats/bench_formats
//
// The input is SONDRALIS_BENCH_GPX or the synthetic lake survey at ten
// readings per second, made with scripts/make-lake.py when it is missing. peak_MB is the process's peak
// resident set so far; run a single benchmark (--benchmark_filter) to see
// the peak of that operation alone.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <atomic>
#include <new>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "formats/GPXFile.h"
#include "support/BenchLake.h"
#include "support/LiveHeap.h"


namespace sondralis {
namespace {

namespace fs = std::filesystem;

double PeakRssMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

const std::string& InputFile() {
  static const std::string path = [] {
    const char* env = std::getenv("SONDRALIS_BENCH_GPX");
    return env ? std::string(env) : bench::BenchLakeSurvey(10);
  }();
  return path;
}

std::string OutputFile() { return (fs::path(InputFile()).parent_path() / "bench_out.gpx").string(); }

long long PointCount(const TGPX& doc) {
  long long n = doc.wpt.Count();
  for (int t = 0; t < doc.trk.Count(); ++t)
    for (int s = 0; s < doc.trk.Tracks(t)->Count(); ++s) n += doc.trk.Tracks(t)->trkseg(s)->Count();
  return n;
}

void BM_LoadGPX(benchmark::State& state) {
  if (InputFile().empty()) return state.SkipWithError("no input file");
  long long points = 0;
  for (auto _ : state) {
    auto doc = std::make_unique<TGPX>();
    TGPXFile file;
    file.GPXd = doc.get();
    file.ImportGPXFile(InputFile());
    if (!file.Loaded) return state.SkipWithError("load failed");
    points = PointCount(*doc);
    benchmark::DoNotOptimize(doc);
  }
  state.counters["points"] = static_cast<double>(points);
  state.counters["peak_MB"] = PeakRssMB();
  state.counters["file_MB"] = static_cast<double>(fs::file_size(InputFile())) / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadGPX)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_WriteGPX(benchmark::State& state) {
  if (InputFile().empty()) return state.SkipWithError("no input file");
  TGPX doc;
  TGPXFile file;
  file.GPXd = &doc;
  file.ImportGPXFile(InputFile());
  if (!file.Loaded) return state.SkipWithError("load failed");
  for (auto _ : state) file.ExportGPX(OutputFile());
  state.counters["peak_MB"] = PeakRssMB();
  state.counters["out_MB"] = static_cast<double>(fs::file_size(OutputFile())) / (1024.0 * 1024.0);
}
BENCHMARK(BM_WriteGPX)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_LoadAndWriteGPX(benchmark::State& state) {
  if (InputFile().empty()) return state.SkipWithError("no input file");
  for (auto _ : state) {
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    file.ImportGPXFile(InputFile());
    file.ExportGPX(OutputFile());
  }
}
BENCHMARK(BM_LoadAndWriteGPX)->Unit(benchmark::kMillisecond)->MinTime(2);

// Bytes a document holds: its heap blocks and the mappings of its point
// lists' storage.
long long DocumentBytes(const TGPX& doc, long long heapBefore) {
  long long n = testing::LiveHeapBytes() - heapBefore + static_cast<long long>(doc.wpt.StoreMappedCapacity());
  for (const TGPXrte* r : doc.rte) n += static_cast<long long>(r->StoreMappedCapacity());
  for (const TGPXtrk* t : doc.trk)
    for (const TGPXtrkseg* seg : *t) n += static_cast<long long>(seg->StoreMappedCapacity());
  return n;
}

// The memory of a read document per byte of the file, for the recording
// and for a crafted file of 18 MB of empty tracks (scripts/make-season.py
// --empty-tracks 18); for the recording also per track point. peak_MB is
// the process's peak so far: run one alone to see that of its read.
const std::string& CraftedFile() {
  static const std::string path = [] {
    const std::string file = "/tmp/sondralis-bench-crafted/empty-tracks.gpx";
    if (!fs::exists(file)) {
      fs::create_directories(fs::path(file).parent_path());
      const std::string cmd = "python3 '" SONDRALIS_SOURCE_DIR "/scripts/make-season.py' '" + file +
                              "' --empty-tracks 18 >/dev/null";
      if (std::system(cmd.c_str()) != 0) return std::string();
    }
    return file;
  }();
  return path;
}

void BM_DocumentMemory(benchmark::State& state) {
  const bool crafted = state.range(0) == 1;
  const std::string& input = crafted ? CraftedFile() : InputFile();
  if (input.empty()) return state.SkipWithError("no input file");
  for (auto _ : state) {
    const long long before = testing::LiveHeapBytes();
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    file.ImportGPXFile(input);
    if (!file.Loaded) return state.SkipWithError("load failed");
    const double bytes = static_cast<double>(DocumentBytes(doc, before));
    state.counters["bytes_per_file_byte"] = bytes / static_cast<double>(fs::file_size(input));
    if (!crafted) state.counters["bytes_per_point"] = bytes / static_cast<double>(PointCount(doc));
    state.counters["tracks"] = doc.trk.Count();
  }
  state.counters["peak_MB"] = PeakRssMB();
}
BENCHMARK(BM_DocumentMemory)->Arg(0)->Arg(1)->ArgName("crafted")->Iterations(1)->Unit(benchmark::kMillisecond);

// Crafted files with n distinct namespace prefixes inside extensions, read
// and written back. The time per prefix must stay flat as n grows (the
// fitted complexity is printed as BigO): "root" declares every prefix on
// <gpx> and uses one in each point's extensions; "fragment" uses them all in
// one extension element, half declared on <gpx> and half on the element.
std::string PrefixedExtensions(bool onePerPoint, int n) {
  std::string xml = "<gpx version=\"1.1\" creator=\"bench\"";
  for (int i = 0; i < n; ++i) xml += " xmlns:p" + std::to_string(i) + "=\"urn:example:p" + std::to_string(i) + "\"";
  xml += "><trk><trkseg>";
  if (onePerPoint) {
    for (int i = 0; i < n; ++i)
      xml += "<trkpt lat=\"46.5\" lon=\"8.5\"><extensions><p" + std::to_string(i) + ":x>1</p" + std::to_string(i) +
             ":x></extensions></trkpt>";
  } else {
    xml += "<trkpt lat=\"46.5\" lon=\"8.5\"><extensions><w";
    for (int i = n / 2; i < n; ++i) xml += " xmlns:q" + std::to_string(i) + "=\"urn:example:q" + std::to_string(i) + "\"";
    xml += ">";
    for (int i = 0; i < n; ++i) {
      xml += i < n / 2 ? "<p" : "<q";
      xml += std::to_string(i);
      xml += ":x/>";
    }
    xml += "</w></extensions></trkpt>";
  }
  return xml + "</trkseg></trk></gpx>";
}

void BM_LoadAndWriteManyPrefixes(benchmark::State& state, bool onePerPoint) {
  const int n = static_cast<int>(state.range(0));
  const std::string xml = PrefixedExtensions(onePerPoint, n);
  const std::string out = (fs::temp_directory_path() / "sondralis_bench_prefixes.gpx").string();
  for (auto _ : state) {
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    std::istringstream in(xml);
    file.ImportGPXStream(in, "prefixes.gpx");
    if (!file.Loaded) return state.SkipWithError("load failed");
    file.ExportGPX(out);
  }
  state.SetComplexityN(n);
  state.counters["file_MB"] = static_cast<double>(xml.size()) / (1024.0 * 1024.0);
}
BENCHMARK_CAPTURE(BM_LoadAndWriteManyPrefixes, root, true)
    ->RangeMultiplier(4)->Range(1 << 12, 1 << 16)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(BM_LoadAndWriteManyPrefixes, fragment, false)
    ->RangeMultiplier(4)->Range(1 << 12, 1 << 16)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The same read and write by gpsbabel, as a separate process.
void BM_GpsbabelLoadAndWrite(benchmark::State& state) {
  if (InputFile().empty()) return state.SkipWithError("no input file");
  if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0) return state.SkipWithError("gpsbabel not installed");
  const std::string out = (fs::path(InputFile()).parent_path() / "bench_gpsbabel.gpx").string();
  const std::string cmd = "gpsbabel -t -i gpx -f '" + InputFile() + "' -o gpx -F '" + out + "'";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) return state.SkipWithError("gpsbabel failed");
}
BENCHMARK(BM_GpsbabelLoadAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace sondralis

BENCHMARK_MAIN();
