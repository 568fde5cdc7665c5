#include "cli/MapCommand.h"

#include <unistd.h>

#include <QGuiApplication>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/CommandSupport.h"
#include "exports/Hillshade.h"
#include "exports/MapExport.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"
#include "interpolation/SampleGrid.h"
#include "model/Text.h"
#include "session/Project.h"
#include "session/ProjectFile.h"

namespace sondralis::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kMapUsage =
    "Usage: sondralis-cli map IN... -d OUTDIR [--size WxH] [--radius PX] [--style P]\n"
    "                         [--threads N] [--step CM] [--name NAME]\n"
    "                         [--shallow RRGGBB] [--deep RRGGBB]\n"
    "                         [--method M] [--tolerance CM]\n"
    "                         [--geotiff] [--gpkg] [--shp] [--mbtiles]\n"
    "                         [--pdf [--paper A4|A3]] [--spots] [--report]\n"
    "                         [--hillshade [--exaggeration Z]] [--safety CM]\n"
    "                         [--contours pixel|chart] [--min-ring PX] [--smooth N]\n"
    "                         [--no-labels] [--chart] [--chart-tracks]\n"
    "                         [loading options]\n"
    "\n"
    "Does what the window does, from \"Add Files...\" to \"Create HT-File\": loads\n"
    "the files in order, fits the map to a picture of WxH pixels (each pixel as\n"
    "many metres across as up, at the latitude of the middle of the map),\n"
    "interpolates the depth map near the depth tracks and inside the shoreline,\n"
    "traces a contour line at every step from 0 cm to the greatest depth, and\n"
    "writes into OUTDIR (made when missing):\n"
    "  depth.bmp, depth.jpg   the interpolated depth map\n"
    "  contours.bmp           the contour lines\n"
    "  depth.asc, depth.prj   the interpolated depth in centimetres, one cell per\n"
    "                         pixel, as an Esri ASCII grid in WGS 84\n"
    "  samples.csv            the samples the interpolation used (lon,lat,depth);\n"
    "                         `sondralis-cli grid` on them with the extent the\n"
    "                         summary shows gives Shepard's depth.asc again,\n"
    "                         within the tolerance\n"
    "  contours.gpx           the contour lines, each point with its depth\n"
    "  contours.kml           the contour lines for Google Earth, a folder per depth\n"
    "  000.ht, 001.ht, ...    the contour lines for the unit: copy them into a\n"
    "                         folder \"matrix\" on its SD card\n"
    "  chart.png              with --chart: the depths, contour lines and depth\n"
    "                         labels as a chart, with the shoreline, a legend, a\n"
    "                         scale bar, a north arrow and a title\n"
    "Files of the same names in OUTDIR are replaced only when the whole map has\n"
    "been made; when anything fails, nothing is written. Only an output the map\n"
    "cannot give is left out with a warning while the others are written: HT\n"
    "files without any contour line, or with lines too far apart for one file.\n"
    "OUTDIR is taken for the run: a second map into it is told it is busy. A\n"
    "symbolic link there stays a link and the file it points to is replaced; a\n"
    "read-only file or a folder in the way is refused before any work, as by\n"
    "the other commands.\n"
    "\n"
    "IN may also be one project file (.sondralis, saved by the window's File >\n"
    "Save Project...): its files load with the depth rules they were loaded with\n"
    "and its settings, colours and picture size are the defaults of the options\n"
    "below; a file of the project that is missing is named and the rest load.\n"
    "\n"
    "  --size WxH       picture size in pixels (default: the window's map, %dx%d);\n"
    "                   a size that needs more memory than the machine has (or\n"
    "                   ulimit -v allows) is refused before any work\n"
    "  --radius PX      extrapolation radius: width of the band around the depth\n"
    "                   tracks that is interpolated, 0 to 999 pixels (default 30)\n"
    "  --style P        power of Shepard's weights, 2 (smooth) to 14 (hard);\n"
    "                   default 8\n"
    "  --threads N      interpolation workers (default: one per processor)\n"
    "  --step CM        depth between contour lines, 1 to 9999 cm (default 100)\n"
    "  --name NAME      track name of the HT files (first 20 characters; default\n"
    "                   NewTrack)\n"
    "  --shallow RRGGBB colour of depth 0 (default ff0000, red)\n"
    "  --deep RRGGBB    colour of the greatest depth (default 0000ff, blue)\n"
    "%s"
    "  --tolerance CM   Shepard at style 6 or more: each depth within CM of the\n"
    "                   sum over all samples, far samples bounded instead of\n"
    "                   summed; 0 sums them all (default 0.001, which changes no\n"
    "                   colour, contour or HT file, only depth.asc's last digits)\n"
    "\n"
    "The map for other programs, each written when asked, with the rest:\n"
    "  --geotiff        depth.tif: the depth in cm and each cell's distance to\n"
    "                   the nearest sounding in m, for QGIS and ArcGIS\n"
    "  --gpkg           contours.gpkg: the contour lines, the soundings and the\n"
    "                   safety contour as GeoPackage layers, for QGIS\n"
    "  --shp            contours.shp (.shx .dbf .prj .cpg): the contour lines as\n"
    "                   a shapefile set, for older GIS programs\n"
    "  --mbtiles        chart.mbtiles: the chart as map tiles for phone and\n"
    "                   plotter apps\n"
    "  --pdf            chart.pdf: the chart to print, with the lake's figures\n"
    "  --paper A4|A3    chart.pdf's paper, landscape (default A4)\n"
    "  --spots          spots.gpx and spots.hwr: holes, humps and drop-offs as\n"
    "                   waypoints; copy spots.hwr into \"matrix\" on the SD card\n"
    "  --report         report.csv and report.json: area, volume, mean and\n"
    "                   greatest depth, and the area of each depth band\n"
    "How the pictures look (depth.bmp, depth.jpg, contours.bmp and the charts):\n"
    "  --hillshade      shade the depth colours by the slope of the bottom, lit\n"
    "                   from the north-west, so holes and drop-offs stand out\n"
    "  --exaggeration Z how much the relief steepens the slopes, above 0 and at\n"
    "                   most 100 (default 3: a drop of 1 m over 10 m shows)\n"
    "  --safety CM      hatch water shallower than CM centimetres (1 to 9999) in\n"
    "                   magenta in every picture, draw the contour at that depth\n"
    "                   bold, and write it as its own folder in contours.kml and\n"
    "                   layer in contours.gpkg\n"
    "\n"
    "Contour lines:\n"
    "  --contours pixel|chart\n"
    "                   the tracer: \"pixel\" follows the edges of the depth\n"
    "                   picture's pixels (the window's \"ISO Map\"), \"chart\" traces\n"
    "                   the depths themselves, from one step down, with lines\n"
    "                   that never cross or touch and depth labels on\n"
    "                   contours.bmp and in contours.kml (default: pixel with\n"
    "                   --method shepard, chart with --method surface)\n"
    "  --min-ring PX    drop closed rings shorter than PX pixels, the rings a\n"
    "                   single sounding makes, 0 to 9999 (default 0 with the pixel\n"
    "                   tracer, %d with the chart tracer: a ring around one or\n"
    "                   two pixels standing out from all their neighbours)\n"
    "  --smooth N       N passes (0 to 10) of smoothing the chart tracer's lines\n"
    "                   that is safe for a boat: a line only moves towards\n"
    "                   deeper water and never crosses another (default 0)\n"
    "  --no-labels      no depth labels on the chart tracer's contours.bmp and\n"
    "                   contours.kml\n"
    "  --chart          also write chart.png (two pixels for every pixel of the\n"
    "                   map across, at least 1200)\n"
    "  --chart-tracks   the same, with the survey tracks drawn on the chart\n"
    "\n";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

// "RRGGBB" (a leading # is fine) as a colour, red in the low byte.
std::optional<TColor> ColourOption(const Arguments& a, const std::string& name) {
  const auto text = a.Get(name);
  if (!text) return std::nullopt;
  std::string hex = *text;
  if (!hex.empty() && hex.front() == '#') hex.erase(0, 1);
  unsigned r = 0, g = 0, b = 0;
  int used = 0;
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
      std::sscanf(hex.c_str(), "%2x%2x%2x%n", &r, &g, &b, &used) != 3 || used != 6)
    throw UsageError(name + " wants a colour as RRGGBB in hexadecimal, like ff0000, not \"" + *text + "\"");
  return r | (g << 8) | (b << 16);
}

// The tracer --contours names, or nothing for the default.
std::optional<TContourTracer> TracerOption(const Arguments& a) {
  const auto text = a.Get("--contours");
  if (!text) return std::nullopt;
  if (*text == "pixel") return TContourTracer::Pixel;
  if (*text == "chart") return TContourTracer::Chart;
  throw UsageError("--contours wants pixel or chart, not \"" + *text + "\"");
}

// The track points of a document; without outlines (segments all at depth
// 0), which are no samples when the shoreline adds none.
int PointCount(const TGPX& doc, bool outlines = true) {
  int n = 0;
  for (TGPXtrk* track : doc.trk)
    for (TGPXtrkseg* segment : *track)
      if (outlines || std::any_of(segment->begin(), segment->end(), [](const TPoint4D2* p) { return p->HBdepth != 0; }))
        n += segment->Count();
  return n;
}

// The shortest text that reads back as the same double.
std::string Digits17(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The exports for other programs and the pictures' look from the options.
TExportChoice ExportOptions(const Arguments& a) {
  TExportChoice choice;
  const auto flag = [&](const char* name) { return a.Flags.count(name) > 0; };
  choice.GeoTIFF = flag("--geotiff");
  choice.GeoPackage = flag("--gpkg");
  choice.Shapefile = flag("--shp");
  choice.MBTiles = flag("--mbtiles");
  choice.PDF = flag("--pdf");
  choice.Spots = flag("--spots");
  choice.Report = flag("--report");
  if (const auto paper = a.Get("--paper")) {
    if (!choice.PDF) throw UsageError("--paper goes with --pdf");
    const std::string name = ToLowerAscii(*paper);
    if (name != "a4" && name != "a3") throw UsageError("--paper wants A4 or A3, not \"" + *paper + "\"");
    choice.Paper = name == "a3" ? TPaper::A3 : TPaper::A4;
  }
  if (flag("--hillshade")) choice.Relief = kDefaultExaggeration;
  if (const auto text = a.Get("--exaggeration")) {
    if (!flag("--hillshade")) throw UsageError("--exaggeration goes with --hillshade");
    double z = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, z);
    if (ec != std::errc() || ptr != end || !(z > 0) || z > 100)
      throw UsageError("--exaggeration wants a number above 0 and at most 100, not \"" + *text + "\"");
    choice.Relief = z;
  }
  choice.SafetyDepth = WholeNumberOption(a, "--safety", 1, 9999, 0, "a whole number of centimetres");
  return choice;
}

std::string Fixed(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
  return buffer;
}

// The method of a run as the summary names it.
std::string MethodText(const TInterpolationSettings& s) {
  if (s.Method == TInterpolationMethod::Surface) return MethodName(s.Method);
  return std::string(MethodName(s.Method)) + " style " + std::to_string(s.Style) + ", tolerance " +
         Digits17(s.Tolerance) + " cm";
}

// What loading told, when it told anything: the corrections, the files
// taken for shorelines, the soundings outside the shoreline.
void PrintLoadSummary(std::ostream& out, const TLoadSummary& summary) {
  const auto lines = [&](const char* label, const std::vector<std::string>& text) {
    for (std::size_t i = 0; i < text.size(); ++i) out << (i == 0 ? label : "                 ") << text[i] << "\n";
  };
  lines("Corrections:     ", summary.Corrections);
  lines("Shorelines:      ", summary.Shorelines);
  if (!summary.OutsideNote.empty()) out << "Outside:         " << summary.OutsideNote << "\n";
}

}  // namespace

// The project file among the inputs, read; nothing when the inputs are
// plain files. A project stands for all the inputs and their rules.
std::optional<TProjectFile> ProjectInput(const Arguments& a) {
  const bool any = std::any_of(a.Inputs.begin(), a.Inputs.end(), [](const std::string& p) { return IsProjectFile(p); });
  if (!any) return std::nullopt;
  if (a.Inputs.size() != 1) throw UsageError("a project file stands for all the inputs: give it alone");
  if (a.Get("--depth") || a.Get("--offset"))
    throw UsageError("--depth and --offset do not go with a project file: its files keep the rules they were "
                     "loaded with");
  try {
    return ReadProjectFile(a.Inputs.front());
  } catch (const EProjectFileError& e) {
    throw CommandFailure(e.what());
  }
}

bool ChangesCorrections(const TLoadOptions& loading) {
  const TLoadOptions none;
  return !(loading.Corrections == none.Corrections && loading.ShoreDepth == none.ShoreDepth &&
           loading.KeepOutside == none.KeepOutside);
}

void ForgetInputCorrections(TProjectFile& file) {
  for (TProjectInput& input : file.Inputs) input.Applied.reset();
}

// Loads the project's files with their rules; the missing ones are named
// on stderr and the rest load. A file that is there but cannot be read
// ends the command, as a plain input does.
int LoadProject(TProject& project, const TProjectFile& file, const std::string& path, TCliFeedback& feedback,
                TLoadTotals& setAside) {
  feedback.Log(std::to_string(project.CPUCount()) + " CPUs found");
  const TProjectOpenResult opened = OpenProjectFile(project, file, feedback);
  PrintWarnings(opened.MissingLines(path));
  for (const SourceLoadResult& result : opened.Loaded) {
    for (const std::string& line : result.Warnings) std::cerr << line << "\n";
    if (!result.Error.empty()) throw CommandFailure(result.Error);
    setAside.ZeroReadings += result.ZeroReadings;
    setAside.ImplausibleReadings += result.ImplausibleReadings;
    if (!feedback.Verbose)
      for (const std::string& line : result.Notes) std::cerr << line << "\n";
  }
  if (!feedback.Verbose)
    for (const std::string& line : opened.Notes) std::cerr << line << "\n";
  if (opened.Loaded.empty()) throw CommandFailure(path + ": none of the project's files is there");
  return static_cast<int>(opened.Loaded.size());
}

int RunMap(const std::vector<std::string>& args) {
  const Arguments a = ParseWithLoading(args,
                                       {"-d", "--size", "--radius", "--style", "--threads", "--step", "--name",
                                        "--shallow", "--deep", "--method", "--tolerance", "--paper", "--exaggeration",
                                        "--safety", "--contours", "--min-ring", "--smooth"},
                                       {"--geotiff", "--gpkg", "--shp", "--mbtiles", "--pdf", "--hillshade",
                                        "--spots", "--report", "--no-labels", "--chart", "--chart-tracks"});
  if (a.Help) {
    std::vector<char> text(16384);
    std::snprintf(text.data(), text.size(), kMapUsage, TProject::kDefaultMapWidth, TProject::kDefaultMapHeight,
                  kMethodOption, static_cast<int>(kChartMinRing));
    std::cout << text.data() << kLoadOptions << kShoreOptions;
    return kExitOk;
  }
  const TLoadOptions loading = SetUpLoading(a, "map", TLoadUse::Map);
  std::optional<TProjectFile> projectFile = ProjectInput(a);
  // Without a project, the defaults are the window's at its start.
  const TProjectFile defaults = projectFile.value_or(TProjectFile{});
  const TProjectSettings& given = defaults.Settings;
  const auto outdirText = a.Get("-d");
  if (!outdirText || outdirText->empty()) throw UsageError("map needs an output folder: -d OUTDIR");
  const auto [width, height] =
      a.Get("--size") || !defaults.PictureSize ? PictureSizeOption(a) : *defaults.PictureSize;
  // Pictures, masks and depths of that size, as measured with GNU time's
  // maximum resident size (about 74 bytes a pixel), with room to spare.
  RefuseWhatCannotFit(80.0 * width * height + 64.0 * 1024 * 1024,
                      "--size " + std::to_string(width) + "x" + std::to_string(height));
  const int radius =
      WholeNumberOption(a, "--radius", 0, 999, given.Interpolation.Radius, "a whole number of pixels");
  const int style = WholeNumberOption(a, "--style", 2, 14, given.Interpolation.Style);
  const int threads = WholeNumberOption(a, "--threads", 1, 1024, 0);
  const int step = WholeNumberOption(a, "--step", 1, 9999, given.Contours.Step, "a whole number of centimetres");
  const auto shallow = ColourOption(a, "--shallow");
  const auto deep = ColourOption(a, "--deep");
  const std::string trackName = a.Get("--name").value_or(given.HT.TrackName);
  const TInterpolationMethod method = MethodOption(a).value_or(given.Interpolation.Method);
  const double tolerance = ToleranceOption(a, given.Interpolation.Tolerance);

  const TExportChoice choice = ExportOptions(a);
  // Contours like a chart.
  TContourSettings contours;
  contours.Step = step;
  contours.Tracer = TracerOption(a);
  if (a.Get("--min-ring")) contours.MinRing = WholeNumberOption(a, "--min-ring", 0, 9999, 0, "a whole number of pixels");
  contours.Smooth = WholeNumberOption(a, "--smooth", 0, 10, 0);
  contours.Labels = !a.Flags.count("--no-labels");
  contours.ChartTracks = a.Flags.count("--chart-tracks") > 0;
  const bool chart = contours.ChartTracks || a.Flags.count("--chart") > 0;

  TExportRequest request = TExportRequest::WholeMap(*outdirText, trackName);
  request.Add(choice);
  if (chart) request.Files.push_back({TOutput::ChartPicture, "chart.png"});
  RefuseInputsAsOutputs(a, request.Paths());
  if (projectFile) {
    Arguments files = a;
    files.Inputs.clear();
    for (const TProjectInput& input : projectFile->Inputs) files.Inputs.push_back(input.Path);
    RefuseInputsAsOutputs(files, request.Paths());
  }
  // The output folder and the staging folder exist before any work, so a
  // folder that cannot be written is refused at once.
  std::optional<TMapExport> exporting;
  try {
    exporting.emplace(request);
  } catch (const EExportError& e) {
    throw CommandFailure(e.what());
  }
  const Clock::time_point start = Clock::now();
  // The charts' text needs Qt's fonts, and they an application object; a
  // batch tool draws off screen whatever display there is.
  static int guiArgc = 1;
  static char guiName[] = "sondralis-cli";
  static char* guiArgv[] = {guiName, nullptr};
  std::optional<QGuiApplication> gui;
  if ((choice.PDF || chart) && !QCoreApplication::instance()) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's notes about the session it runs in are no business of a
    // batch user's; --verbose shows them.
    static bool qtNotes = false;
    qtNotes = a.Verbose;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
      if (qtNotes || type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << "sondralis-cli: Qt: " << message.toStdString() << "\n";
    });
    gui.emplace(guiArgc, guiArgv);
  }

  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  feedback.ShowProgress = ::isatty(STDERR_FILENO) == 1;
  TProject project;
  project.SetShallowColor(shallow.value_or(defaults.Shallow));
  project.SetDeepColor(deep.value_or(defaults.Deep));
  project.SetMapSize(width, height);
  project.SetContourMapSize(width, height);
  TProjectSettings& settings = project.Settings;
  settings = given;
  settings.Interpolation.Threads = project.CPUCount();
  settings.Interpolation.Radius = radius;
  settings.Interpolation.Style = style;
  if (threads > 0) settings.Interpolation.Threads = std::min(threads, project.CPUCount());
  settings.Interpolation.Method = method;
  settings.Interpolation.Tolerance = tolerance;
  settings.Contours = contours;
  settings.HT.TrackName = trackName;
  const TContourTracer tracer = ContourTracerOf(settings.Contours, settings.Interpolation.Method);
  if (tracer == TContourTracer::Pixel && contours.Smooth > 0)
    throw UsageError("--smooth smooths the chart tracer's lines: add --contours chart");

  TLoadTotals setAside;
  std::size_t filesLoaded = a.Inputs.size();
  if (projectFile) {
    // The project's settings as the options changed them; correction
    // options given replace the project's corrections.
    if (ChangesCorrections(loading)) {
      loading.ApplyTo(project);
      ForgetInputCorrections(*projectFile);
    }
    projectFile->Settings = settings;
    projectFile->Shallow = project.clShallowWater();
    projectFile->Deep = project.clDeepWater();
    filesLoaded = static_cast<std::size_t>(LoadProject(project, *projectFile, a.Inputs.front(), feedback, setAside));
  } else {
    setAside = LoadInputs(project, a, loading, feedback);
  }
  const int pointsLoaded = PointCount(project.GPXdata());
  const int tracksLoaded = project.GPXdata().trk.Count();
  const Clock::time_point loaded = Clock::now();

  // Both runs go before anything is written, so a refusal leaves no file.
  try {
    feedback.ProgressLabel = "Interpolating ";
    const bool interpolated = project.Interpolate(feedback);
    feedback.EndProgress();
    if (!interpolated) throw CommandFailure("nothing to interpolate");
  } catch (const ERunRefused& e) {
    throw CommandFailure(e.what());
  }
  const int trackSamples = PointCount(project.GPXdata(), loading.ShoreDepth.Samples);
  const Clock::time_point interpolated = Clock::now();
  try {
    feedback.ProgressLabel = "Tracing levels ";
    project.TraceContours(feedback);
    feedback.EndProgress();
  } catch (const ERunRefused& e) {
    throw CommandFailure(e.what());
  }
  if (chart) {
    try {
      feedback.ProgressLabel = "Chart ";
      project.PrepareChart(feedback);
      feedback.EndProgress();
    } catch (const ERunRefused& e) {
      throw CommandFailure(e.what());
    }
  }
  const Clock::time_point tracedAt = Clock::now();

  TExportResult written;
  try {
    feedback.ProgressLabel = "Writing ";
    written = exporting->Write(project.Results(), feedback);
    feedback.EndProgress();
  } catch (const EExportError& e) {
    throw CommandFailure(e.what());
  } catch (const EFileError& e) {
    throw CommandFailure(e.what());
  } catch (const EHTConvertError& e) {
    throw CommandFailure(e.what());
  }
  const Clock::time_point done = Clock::now();

  const TMapInfo& info = project.MapInfo();
  const TDepthMap& map = project.DepthMap();
  const TGridExtent extent = project.Results().Extent;
  const int samples = map.InCoord.Length();
  const int maxDepth = project.MaxDepth();
  const TContourRun& traced = project.ContourRun();
  const std::vector<int>& levels = traced.Levels;
  char rings[96];
  std::snprintf(rings, sizeof rings, "rings shorter than %g px dropped: %d", traced.MinRing, traced.RingsDropped);
  std::ostringstream out;
  out << "Points loaded:   " << pointsLoaded << " in " << tracksLoaded << " tracks from " << filesLoaded
      << (filesLoaded == 1 ? " file\n" : " files\n")
      << "Set aside:       " << setAside.ZeroReadings << " readings of 0 cm (bottom lost), "
      << setAside.ImplausibleReadings << " beyond 12000 m\n"
      << "Max depth:       " << maxDepth << " cm\n"
      << "View:            " << info.ScreenWidth << " x " << info.ScreenHeight << " px, " << info.AreaWidth << " x "
      << info.AreaHeight << " m, " << info.ResolutionX << " x " << info.ResolutionY << " cm per pixel\n"
      << "Extent:          " << Digits17(extent.MinLon) << ',' << Digits17(extent.MinLat) << ','
      << Digits17(extent.MaxLon) << ',' << Digits17(extent.MaxLat) << "\n"
      << "Samples:         " << samples << " (" << samples - trackSamples << " on the shoreline, " << trackSamples
      << " track points)\n"
      << "Covered pixels:  " << map.CoveredPixels << "\n"
      << "Levels:          " << levels.size() << " (" << (levels.empty() ? 0 : levels.front()) << " to "
      << (levels.empty() ? 0 : levels.back()) << " cm every " << step << " cm)\n"
      << "Tracer:          " << (traced.Tracer == TContourTracer::Chart ? "chart" : "pixel") << ", "
      << (traced.MinRing > 0 ? rings : "every ring kept") << "\n"
      << "Contours:        " << project.IsoData().trk.Count() << " tracks, " << PointCount(project.IsoData())
      << " points (" << CountHTPoints(project.IsoData(), kHTAllowance) << " HT points)\n"
      << "HT files:        ";
  for (std::size_t i = 0; i < written.HTFiles.size(); ++i) out << (i ? ", " : "") << written.HTFiles[i];
  if (written.HTFiles.empty()) out << "none";
  out << "\n";
  // One line per export for other programs, and for the relief and the
  // safety depth.
  for (const auto& [caption, text] : written.Notes)
    out << caption << ':' << std::string(caption.size() < 16 ? 16 - caption.size() : 1, ' ') << text << "\n";
  PrintLoadSummary(out, project.LoadSummary());
  out << "Time:            load " << Fixed(Seconds(start, loaded)) << ", interpolation "
      << Fixed(Seconds(loaded, interpolated)) << " (" << MethodText(settings.Interpolation) << "), contours "
      << Fixed(Seconds(interpolated, tracedAt)) << ", files "
      << Fixed(written.Seconds) << ", HT " << Fixed(written.HTSeconds) << "; in all " << Fixed(Seconds(start, done))
      << "\n"
      << "Wrote " << written.Files.size() << " files into " << *outdirText;
  // What could not be made is said on stderr, one line each.
  for (std::size_t i = 0; i < written.NotMade.size(); ++i)
    out << (i ? ", " : "; not made: ") << written.NotMade[i].Name;
  out << "\n";
  std::cout << out.str();
  PrintWarnings(written.Warnings);
  // Parts of an earlier map with more parts would be loaded by the unit
  // together with these; they are not ours to delete.
  const std::vector<std::string>& stale = written.StaleHTParts;
  if (!stale.empty()) {
    std::cerr << "sondralis-cli: note: " << *outdirText << " also holds ";
    for (std::size_t i = 0; i < stale.size(); ++i) std::cerr << (i ? ", " : "") << stale[i];
    std::cerr << " from an earlier map; the unit would load "
              << (stale.size() == 1 ? "it" : "them") << " with this one\n";
  }
  return kExitOk;
}

}  // namespace sondralis::cli
