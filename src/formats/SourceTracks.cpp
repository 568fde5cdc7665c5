#include "formats/SourceTracks.h"

#include <climits>
#include <cmath>
#include <filesystem>

#include "formats/GPXFile.h"
#include "formats/KMLFile.h"
#include "model/DateTime.h"
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
  const int depth = AnswerToInt(host.AskText("Apply depth to dataset", FileNameOf(path) + " Depth [cm]:", "0"));
  ApplyDepth(doc, depth < 0 ? 0 : depth);
}

bool FileExists(const std::string& path, Host& host) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return true;
  host.ShowError(path + " does not exist");
  return false;
}

void AppendTracks(TGPX& GPXdata, const TGPX& source, SourceLoadResult& result) {
  GPXdata.trk.CopyFrom(source.trk);
  result.TracksAdded = source.trk.Count();
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
    for (TGPXtrkseg* seg : *trk)
      for (int i = seg->Count() - 1; i >= 0; --i)
        if (seg->Points(i)->HBdepth == 0) seg->FreeAndDelete(i);
}

SourceKind SourceKindOf(const std::string& path) {
  const std::string ext = ToLowerAscii(std::filesystem::path(path).extension().string());
  if (ext == ".gpx") return SourceKind::GPX;
  if (ext == ".kml") return SourceKind::KML;
  return SourceKind::Unknown;
}

SourceLoadResult LoadGPXFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host) {
  SourceLoadResult result;
  if (!FileExists(path, host)) return result;
  host.Log("LoadGPXFile: Trying to open " + path);
  TGPX doc;
  TGPXFile reader;
  reader.GPXd = &doc;
  result.Attempted = true;
  reader.ImportGPXFile(path);
  result.Loaded = reader.Loaded;
  result.ReaderLog = reader.mLog;

  const int d = GetMaxDepth(doc);
  host.Log("LoadGPXFile: GetMaxDepth is " + std::to_string(d));
  if (d != 0) {
    host.Log("LoadGPXFile: Track has valid depth readings");
    host.Log("LoadGPXFile: Removing all 0m readings");
    RemoveZeroDepths(doc);
  }
  if (options.AddDepth && d == 0) AskAndApplyDepth(doc, path, host);
  if (options.AddOffset) {
    const int offset = AnswerToInt(host.AskText("Add value to dataset", FileNameOf(path) + " Add Depth [cm]:", "0"));
    AddDepthOffset(doc, offset);
  }
  AppendTracks(GPXdata, doc, result);
  return result;
}

SourceLoadResult LoadKMLFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host) {
  SourceLoadResult result;
  if (!FileExists(path, host)) return result;
  TGPX doc;
  TKMLFile reader;
  reader.GPXd = &doc;
  result.Attempted = true;
  reader.ImportKML(path);
  result.Loaded = reader.Loaded;
  result.ReaderLog = reader.mLog;
  if (options.AddDepth) {
    AskAndApplyDepth(doc, path, host);
    result.DepthApplied = true;
  }
  AppendTracks(GPXdata, doc, result);
  return result;
}

SourceLoadResult LoadSourceFile(TGPX& GPXdata, const std::string& path, const SourceLoadOptions& options, Host& host) {
  switch (SourceKindOf(path)) {
    case SourceKind::GPX:
      return LoadGPXFile(GPXdata, path, options, host);
    case SourceKind::KML:
      return LoadKMLFile(GPXdata, path, options, host);
    case SourceKind::Unknown:
      break;
  }
  host.ShowError("can't parse " + path);
  return {};
}

}  // namespace sondralis
