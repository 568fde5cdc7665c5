#include "formats/SourceTracks.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "formats/GPXFile.h"
#include "formats/KMLFile.h"
#include "formats/SoundingsFile.h"
#include "model/DateTime.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

template <class Visit>
void ForEachTrackPoint(const TGPX& GPX, Visit visit) {
  for (TGPXtrk* trk : GPX.trk)
    for (TGPXtrkseg* seg : *trk)
      for (TPoint4D2* p : *seg) visit(*p);
}

// Why `path` cannot be opened as a source file, or nothing when it is a
// regular file.
std::optional<std::string> NotAFile(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::is_regular_file(status)) return std::nullopt;
  if (std::filesystem::is_directory(status)) return path + " is a directory";
  if (std::filesystem::exists(status)) return path + " is not a regular file";
  if (ec && ec != std::errc::no_such_file_or_directory) return path + ": " + ec.message();
  return path + " does not exist";
}

void RunSoundingsReader(const std::string& path, TGPX& doc, SourceReadResult& result) {
  result.Attempted = true;
  const TSoundingsReadResult read = ReadSoundingsFile(path, doc);
  result.Loaded = read.Loaded;
  result.Error = read.Error;
  result.UnreadableDepths = read.BadLines.Count;
  result.Warnings = read.Warnings;
}

// Runs the reader of `kind` on an existing file.
void RunReader(SourceKind kind, const std::string& path, TGPX& doc, SourceReadResult& result) {
  if (kind == SourceKind::Soundings) return RunSoundingsReader(path, doc, result);
  std::unique_ptr<TGPXFile> reader =
      kind == SourceKind::KML ? std::make_unique<TKMLFile>() : std::make_unique<TGPXFile>();
  reader->GPXd = &doc;
  result.Attempted = true;
  try {
    if (kind == SourceKind::KML) static_cast<TKMLFile&>(*reader).ImportKML(path);
    else reader->ImportGPXFile(path);
  } catch (const EConvertError& e) {
    // An impossible date ends the read; the file counts as unreadable.
    result.Error = AboutFile(path, e.what());
  }
  result.Loaded = reader->Loaded && result.Error.empty();
  result.ReaderLog = reader->mLog;
  result.UnreadableDepths = reader->UnreadableDepths.Count;
  result.SkippedPoints = reader->SkippedPoints.Count;
  if (kind == SourceKind::KML) result.SkippedPlacemarks = static_cast<TKMLFile&>(*reader).SkippedPlacemarks;
  result.Warnings = reader->ReadWarnings();
  if (!result.Loaded && result.Error.empty()) result.Error = AboutFile(path, ReaderReason(reader->mLog));
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

}  // namespace

int GetMaxDepth(const TGPX& GPX) {
  double max = 0;
  ForEachTrackPoint(GPX, [&](const TPoint4D2& p) {
    const double d = std::trunc(p.HBdepth);
    if (d > max) max = d;
  });
  return max >= INT_MAX ? INT_MAX : static_cast<int>(max);
}

void ApplyDepth(TGPX& GPX, int Value) {
  for (TGPXtrk* trk : GPX.trk)
    for (TGPXtrkseg* seg : *trk)
      for (TPoint4D2* p : *seg) p->HBdepth = Value;
}

void AddDepthOffset(TGPX& GPX, int Value) {
  for (TGPXtrk* trk : GPX.trk)
    for (TGPXtrkseg* seg : *trk)
      for (TPoint4D2* p : *seg) p->HBdepth += Value;
}

// In one pass per segment: a recording that lost the bottom half the time
// would otherwise move the rest of the list for every reading removed.
long long RemoveZeroDepths(TGPX& GPX) {
  long long removed = 0;
  for (TGPXtrk* trk : GPX.trk)
    for (TGPXtrkseg* seg : *trk) removed += seg->FreeWhere([](const TPoint4D2* p) { return p->HBdepth == 0; });
  return removed;
}

long long SetAsideImplausibleDepths(TGPX& GPX, double* First) {
  long long removed = 0;
  for (TGPXtrk* trk : GPX.trk)
    for (TGPXtrkseg* seg : *trk) {
      const auto implausible = [&](const TPoint4D2* p) {
        if (PlausibleDepth(p->HBdepth)) return false;
        if (First && removed == 0) *First = p->HBdepth;
        ++removed;
        return true;
      };
      // Most segments hold none: they are only read.
      if (std::any_of(seg->begin(), seg->end(), [](const TPoint4D2* p) { return !PlausibleDepth(p->HBdepth); }))
        seg->FreeWhere(implausible);
    }
  return removed;
}

namespace {

// "lake.gpx: 1 depth reading beyond 12000 m set aside (the first: 99999999 cm)".
std::string ImplausibleWarning(const std::string& Path, long long Count, double First, const std::string& Cause) {
  return Path + ": " + std::to_string(Count) + (Count == 1 ? " depth reading" : " depth readings") +
         " beyond 12000 m set aside" + Cause + " (the first: " + FormatNumber(First) + " cm)";
}

}  // namespace

SourceKind SourceKindOf(const std::string& path) {
  const std::string ext = ToLowerAscii(std::filesystem::path(path).extension().string());
  if (ext == ".gpx") return SourceKind::GPX;
  if (ext == ".kml") return SourceKind::KML;
  if (IsSoundingsFile(path)) return SourceKind::Soundings;
  return SourceKind::Unknown;
}

TElevationDepths DepthFromElevation(TGPX& Doc) {
  TElevationDepths out;
  bool readings = false;
  ForEachTrackPoint(Doc, [&](const TPoint4D2& p) { readings = readings || (p.HBdepth != 0 && !std::isnan(p.HBdepth)); });
  if (readings) return out;
  for (TGPXtrk* track : Doc.trk)
    for (TGPXtrkseg* segment : *track)
      for (TPoint4D2* p : *segment) {
        if (p->Altitude < 0) {
          // Rounded to 1e-4 cm: -(-3.456) x 100 is 345.59999999999997 in
          // binary, and the depth is to be written back as 345.6.
          p->HBdepth = std::round(-p->Altitude * 100 * 1e4) / 1e4;
          ++out.Converted;
        } else {
          ++out.Left;
        }
      }
  return out;
}

std::string ReaderReason(const std::vector<std::string>& ReaderLog) {
  std::string reason;
  for (const std::string& line : ReaderLog) {
    const std::string_view t = Trim(line);
    if (t.empty() || t == "File not loaded") continue;
    if (!reason.empty()) reason += "; ";
    reason += t;
  }
  return reason.empty() ? "not a readable GPX or KML file" : reason;
}

std::string AboutFile(const std::string& path, const std::string& reason) {
  return reason.find(path) == std::string::npos ? path + ": " + reason : reason;
}

SourceReadResult ReadSourceDocument(const std::string& path, TGPX& Doc) {
  SourceReadResult result;
  const SourceKind kind = SourceKindOf(path);
  if (kind == SourceKind::Unknown && !IsDirectory(path)) {
    result.Error = "can't parse " + path;
  } else if (const std::optional<std::string> problem = NotAFile(path)) {
    result.Error = *problem;
  } else {
    RunReader(kind, path, Doc, result);
  }
  return result;
}

bool ReadSourceFile(const std::string& path, TSourceFile& File, TFeedback& Feedback, const TReadRule& Rule) {
  File.Path = path;
  File.Kind = SourceKindOf(path);
  SourceLoadResult& result = File.Result;
  if (const std::optional<std::string> problem = NotAFile(path)) {
    result.Error = File.Kind == SourceKind::Unknown && !IsDirectory(path) ? "can't parse " + path : *problem;
    return false;
  }
  if (File.Kind == SourceKind::Unknown) {
    result.Error = "can't parse " + path;
    return false;
  }
  if (File.Kind == SourceKind::GPX) Feedback.Log("LoadGPXFile: Trying to open " + path);
  SourceReadResult read;
  RunReader(File.Kind, path, File.Doc, read);
  result.Attempted = read.Attempted;
  result.Loaded = read.Loaded;
  result.ReaderLog = std::move(read.ReaderLog);
  if (!read.Loaded) {
    result.Error = read.Error;
    return false;
  }
  result.Warnings = std::move(read.Warnings);
  for (const std::string& line : result.Warnings) Feedback.Log(line);
  if (!HoldsReadings(File.Kind)) return true;

  const bool gpx = File.Kind == SourceKind::GPX;
  // Before the depths are looked at: a file whose depths are elevations
  // would otherwise be taken for a shoreline.
  if (gpx && Rule.DepthFromElevation) {
    File.FromElevation = DepthFromElevation(File.Doc);
    if (File.FromElevation.Converted > 0)
      Feedback.Log(AboutFile(path, "depths read from <ele>: " + std::to_string(File.FromElevation.Converted) +
                                       " points, " + std::to_string(File.FromElevation.Left) +
                                       " without a negative elevation left without depth"));
  }
  double first = 0;
  if (const long long implausible = SetAsideImplausibleDepths(File.Doc, &first)) {
    result.ImplausibleReadings = implausible;
    result.Warnings.push_back(ImplausibleWarning(path, implausible, first, ""));
    Feedback.Log(result.Warnings.back());
  }
  File.MaxDepth = GetMaxDepth(File.Doc);
  if (gpx) Feedback.Log("LoadGPXFile: GetMaxDepth is " + std::to_string(File.MaxDepth));
  if (File.MaxDepth != 0) {
    if (gpx) {
      Feedback.Log("LoadGPXFile: Track has valid depth readings");
      Feedback.Log("LoadGPXFile: Removing all 0m readings");
    }
    result.ZeroReadings = RemoveZeroDepths(File.Doc);
    if (gpx)
      Feedback.Log("LoadGPXFile: " + std::to_string(result.ZeroReadings) +
                   (result.ZeroReadings == 1 ? " reading" : " readings") + " of 0 removed");
  }
  return true;
}

SourceLoadResult AddSourceFile(TGPX& GPXdata, TSourceFile& File, const TDepthRule& Rule) {
  SourceLoadResult& result = File.Result;
  if (Rule.Depth && File.WithoutDepth()) {
    ApplyDepth(File.Doc, *Rule.Depth < 0 ? 0 : *Rule.Depth);
    result.DepthApplied = File.Kind == SourceKind::KML;
  }
  if (Rule.Offset && HoldsReadings(File.Kind)) AddDepthOffset(File.Doc, *Rule.Offset);
  double first = 0;
  if (const long long implausible = SetAsideImplausibleDepths(File.Doc, &first)) {
    result.ImplausibleReadings += implausible;
    result.Warnings.push_back(ImplausibleWarning(File.Path, implausible, first, " after the depth rules"));
  }
  result.TracksAdded = File.Doc.trk.Count();
  // The file's own document is thrown away afterwards: its tracks move over
  // instead of being copied.
  GPXdata.trk.MoveFrom(File.Doc.trk);
  return result;
}

SourceLoadResult LoadSourceFile(TGPX& GPXdata, const std::string& path, const TDepthRule& Rule, TFeedback& Feedback) {
  TSourceFile file;
  if (!ReadSourceFile(path, file, Feedback)) return file.Result;
  return AddSourceFile(GPXdata, file, Rule);
}

}  // namespace sondralis
