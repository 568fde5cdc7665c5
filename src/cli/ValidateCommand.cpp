#include "cli/ValidateCommand.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandSupport.h"
#include "cli/MapCommand.h"
#include "formats/AtomicFile.h"
#include "interpolation/MapAccuracy.h"
#include "session/Project.h"

namespace sondralis::cli {

namespace {

constexpr const char* kValidateUsage =
    "Usage: sondralis-cli validate IN... [--method M] [--style P] [--folds K]\n"
    "                              [--size WxH] [--radius PX] [--threads N]\n"
    "                              [--tolerance CM] [--json] [--folds-csv FILE]\n"
    "\n"
    "How good is the depth map `map` makes of these files? Loads them as map\n"
    "does, deals the depth tracks' segments into K folds (whole segments; while\n"
    "there are fewer segments than folds, the longest is cut in halves), makes\n"
    "the map again without each fold in turn, and compares the held-out\n"
    "soundings that fall on covered pixels with that map there. Prints, for\n"
    "each method (both when --method is not given), one line with the count\n"
    "of held-out soundings, the RMS error, the median absolute error and the\n"
    "95th percentile of the absolute error, in centimetres. Writes nothing\n"
    "unless asked to. IN may be a project file (.sondralis) of the window: its\n"
    "files load with their corrections, and its size, radius, style and\n"
    "tolerance are the defaults.\n"
    "\n"
    "  --method M       shepard or surface (default: both)\n"
    "  --style P        power of Shepard's weights, 2 to 14 (default 8)\n"
    "  --folds K        folds, 2 to 100 (default 5)\n"
    "  --size WxH       picture size in pixels, as for map (default %dx%d)\n"
    "  --radius PX      extrapolation radius, 0 to 999 pixels (default 30)\n"
    "  --threads N      interpolation workers (default: one per processor)\n"
    "  --tolerance CM   Shepard's tolerance, as for map (default 0.001)\n"
    "  --json           one JSON object per method instead of the lines:\n"
    "                   {\"method\":\"surface\", \"style\":8, \"tolerance_cm\":0.001,\n"
    "                    \"folds\":5, \"held_out\":2868, \"rms_cm\":14.6,\n"
    "                    \"median_abs_cm\":8.0, \"p95_abs_cm\":30.2}\n"
    "                   (null for figures without a held-out sounding)\n"
    "  --folds-csv FILE every sample of the map with its fold, for scoring\n"
    "                   other gridders on the same folds: lon,lat,depth,fold,\n"
    "                   pixel_lon,pixel_lat; fold -1 is kept in every map, the\n"
    "                   pixel (empty when none) is where a held-out sounding is\n"
    "                   compared\n"
    "\n";

// The shortest text that reads back as the same double; null when it is
// not a number.
std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FoldsCsv(const TAccuracy& accuracy) {
  std::string out = "lon,lat,depth,fold,pixel_lon,pixel_lat\n";
  for (const TFoldSample& s : accuracy.Samples) {
    out += JsonNumber(s.Longitude) + ',' + JsonNumber(s.Latitude) + ',' + JsonNumber(s.Depth) + ',' +
           std::to_string(s.Fold) + ',';
    if (s.PixelX >= 0)
      out += JsonNumber(accuracy.Pixels.Longitudes[static_cast<std::size_t>(s.PixelX)]) + ',' +
             JsonNumber(accuracy.Pixels.Latitudes[static_cast<std::size_t>(s.PixelY)]);
    else
      out += ',';
    out += '\n';
  }
  return out;
}

}  // namespace

int RunValidate(const std::vector<std::string>& args) {
  const Arguments a = ParseWithLoading(
      args, {"--method", "--style", "--folds", "--size", "--radius", "--threads", "--tolerance", "--folds-csv"},
      {"--json"});
  if (a.Help) {
    std::vector<char> text(4096);
    std::snprintf(text.data(), text.size(), kValidateUsage, TProject::kDefaultMapWidth, TProject::kDefaultMapHeight);
    std::cout << text.data() << kLoadOptions << kShoreOptions;
    return kExitOk;
  }
  const TLoadOptions loading = SetUpLoading(a, "validate", TLoadUse::Map);
  // A project gives the map's size and settings unless the options do.
  std::optional<TProjectFile> projectFile = ProjectInput(a);
  const TInterpolationSettings given =
      projectFile ? projectFile->Settings.Interpolation : TInterpolationSettings{};
  const auto [width, height] =
      a.Get("--size") || !projectFile || !projectFile->PictureSize ? PictureSizeOption(a) : *projectFile->PictureSize;
  const std::optional<TInterpolationMethod> method = MethodOption(a);
  const int style = WholeNumberOption(a, "--style", 2, 14, given.Style);
  const int folds = WholeNumberOption(a, "--folds", 2, 100, 5);
  const int radius = WholeNumberOption(a, "--radius", 0, 999, given.Radius, "a whole number of pixels");
  const int threads = WholeNumberOption(a, "--threads", 1, 1024, 0);
  const double tolerance = ToleranceOption(a, projectFile ? given.Tolerance : kMapTolerance);
  const bool json = a.Flags.count("--json") > 0;
  const std::optional<std::string> csv = a.Get("--folds-csv");
  if (csv) {
    if (csv->empty()) throw UsageError("--folds-csv needs a file name");
    RefuseInputsAsOutputs(a, {*csv});
  }

  TCliFeedback feedback;
  feedback.Verbose = a.Verbose;
  feedback.ShowProgress = ::isatty(STDERR_FILENO) == 1;
  TProject project;
  project.SetMapSize(width, height);
  TInterpolationSettings& settings = project.Settings.Interpolation;
  settings.Radius = radius;
  settings.Style = style;
  settings.Tolerance = tolerance;
  if (threads > 0) settings.Threads = std::min(threads, project.CPUCount());
  if (projectFile) {
    TProjectSettings& file = projectFile->Settings;
    if (ChangesCorrections(loading)) {
      loading.ApplyTo(project);
      file.Corrections = project.Settings.Corrections;
      file.Interpolation.ShoreDepth = project.Settings.Interpolation.ShoreDepth;
      file.Interpolation.KeepOutside = project.Settings.Interpolation.KeepOutside;
      ForgetInputCorrections(*projectFile);
    }
    const TShoreDepth shore = file.Interpolation.ShoreDepth;
    const bool keepOutside = file.Interpolation.KeepOutside;
    file.Interpolation = settings;
    file.Interpolation.ShoreDepth = shore;
    file.Interpolation.KeepOutside = keepOutside;
    TLoadTotals setAside;
    LoadProject(project, *projectFile, a.Inputs.front(), feedback, setAside);
  } else {
    LoadInputs(project, a, loading, feedback);
  }

  std::vector<TInterpolationMethod> methods;
  if (method) methods.push_back(*method);
  else methods = {TInterpolationMethod::Shepard, TInterpolationMethod::Surface};
  TAccuracy accuracy;
  try {
    feedback.ProgressLabel = "Checking ";
    accuracy = project.CheckAccuracy(methods, folds, feedback);
    feedback.EndProgress();
  } catch (const ERunRefused& e) {
    feedback.EndProgress();
    throw CommandFailure(e.what());
  }
  if (csv) {
    try {
      WriteFileAtomically(*csv, FoldsCsv(accuracy));
    } catch (const EFileError& e) {
      throw CommandFailure(e.what());
    }
  }

  std::ostringstream out;
  if (!json)
    out << "Hold-out:        " << accuracy.Soundings << " soundings of " << accuracy.Segments << " segments in "
        << accuracy.Pieces << " pieces, " << accuracy.Folds << " folds, " << width << " x " << height << " px\n";
  for (const TMethodAccuracy& m : accuracy.Methods) {
    if (!json) {
      out << AccuracyLine(m) << "\n";
      continue;
    }
    const THoldOutScore& s = m.Score;
    out << "{\"method\":\"" << (m.Settings.Method == TInterpolationMethod::Surface ? "surface" : "shepard")
        << "\", \"style\":" << m.Settings.Style << ", \"tolerance_cm\":" << JsonNumber(m.Settings.Tolerance)
        << ", \"folds\":" << accuracy.Folds << ", \"held_out\":" << s.Count << ", \"rms_cm\":" << JsonNumber(s.Rms)
        << ", \"median_abs_cm\":" << JsonNumber(s.MedianAbs) << ", \"p95_abs_cm\":" << JsonNumber(s.P95Abs) << "}\n";
  }
  std::cout << out.str();
  return kExitOk;
}

}  // namespace sondralis::cli
