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

std::string FileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The answer of a depth dialog as a whole number, as the window's integer
// conversion reads it.
int AnswerToInt(const std::string& answer) {
  const auto value = ParseInteger(answer);
  if (!value || *value < INT_MIN || *value > INT_MAX)
    throw EConvertError("'" + answer + "' is not a valid integer value");
  return static_cast<int>(*value);
}

// "Apply depth to dataset": one depth for every point; negative becomes 0.
void AskAndApplyDepth(TGPX& doc, const std::string& path, Host& host) {
  const int depth = AnswerToInt(host.AskDepthToApply(FileNameOf(path)));
  ApplyDepth(doc, depth < 0 ? 0 : depth);
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

// Runs the reader of `kind` on an existing file.
void RunReader(SourceKind kind, const std::string& path, TGPX& doc, SourceReadResult& result) {
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

// Reads an existing file into a document of its own; false, after showing
// the reason, when it could not be read.
bool ReadForLoading(SourceKind kind, const std::string& path, TGPX& doc, SourceLoadResult& result, Host& host) {
  SourceReadResult read;
  RunReader(kind, path, doc, read);
  result.Attempted = read.Attempted;
  result.Loaded = read.Loaded;
  result.ReaderLog = std::move(read.ReaderLog);
  if (read.Loaded) {
    result.Warnings = std::move(read.Warnings);
    for (const std::string& line : result.Warnings) host.Log(line);
    if (!result.Warnings.empty()) host.ShowLoadWarnings(result.Warnings);
    return true;
  }
  result.Error = read.Error;
  host.ShowError(read.Error);
  return false;
}

// A missing file, a folder and the like are reported; true for a file.
bool CheckExists(const std::string& path, SourceLoadResult& result, Host& host) {
  const std::optional<std::string> problem = NotAFile(path);
  if (!problem) return true;
  result.Error = *problem;
  host.ShowError(result.Error);
  return false;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

void AppendTracks(TGPX& GPXdata, TGPX& source, SourceLoadResult& result) {
  result.TracksAdded = source.trk.Count();
  // The file's own document is thrown away afterwards: its tracks move over
  // instead of being copied.
  GPXdata.trk.MoveFrom(source.trk);
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

void RemoveZeroDepths(TGPX& GPX) {
  for (TGPXtrk* trk : GPX.trk)
    for (TGPXtrkseg* seg : *trk) {
      const bool outline = std::all_of(seg->begin(), seg->end(), [](const TPoint4D2* p) { return p->HBdepth == 0; });
      if (outline) continue;
      // In one pass: a recording that lost the bottom half the time would
      // otherwise move the rest of the list for every reading removed.
      seg->FreeWhere([](const TPoint4D2* p) { return p->HBdepth == 0; });
    }
}

SourceKind SourceKindOf(const std::string& path) {
  const std::string ext = ToLowerAscii(std::filesystem::path(path).extension().string());
  if (ext == ".gpx") return SourceKind::GPX;
  if (ext == ".kml") return SourceKind::KML;
  return SourceKind::Unknown;
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

SourceLoadResult LoadGPXFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host) {
  SourceLoadResult result;
  if (!CheckExists(path, result, host)) return result;
  host.Log("LoadGPXFile: Trying to open " + path);
  TGPX doc;
  if (!ReadForLoading(SourceKind::GPX, path, doc, result, host)) return result;

  const int d = GetMaxDepth(doc);
  host.Log("LoadGPXFile: GetMaxDepth is " + std::to_string(d));
  if (d != 0) {
    host.Log("LoadGPXFile: Track has valid depth readings");
    host.Log("LoadGPXFile: Removing all 0m readings");
    RemoveZeroDepths(doc);
  }
  if (options.AddDepth && d == 0) AskAndApplyDepth(doc, path, host);
  if (options.AddOffset) AddDepthOffset(doc, AnswerToInt(host.AskDepthOffset(FileNameOf(path))));
  AppendTracks(GPXdata, doc, result);
  return result;
}

SourceLoadResult LoadKMLFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host) {
  SourceLoadResult result;
  if (!CheckExists(path, result, host)) return result;
  TGPX doc;
  if (!ReadForLoading(SourceKind::KML, path, doc, result, host)) return result;
  if (options.AddDepth) {
    AskAndApplyDepth(doc, path, host);
    result.DepthApplied = true;
  }
  AppendTracks(GPXdata, doc, result);
  return result;
}

SourceLoadResult LoadSourceFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host) {
  if (IsDirectory(path)) {
    SourceLoadResult result;
    CheckExists(path, result, host);
    return result;
  }
  switch (SourceKindOf(path)) {
    case SourceKind::GPX:
      return LoadGPXFile(GPXdata, path, options, host);
    case SourceKind::KML:
      return LoadKMLFile(GPXdata, path, options, host);
    case SourceKind::Unknown:
      break;
  }
  SourceLoadResult result;
  result.Error = "can't parse " + path;
  host.ShowError(result.Error);
  return result;
}

}  // namespace sondralis
