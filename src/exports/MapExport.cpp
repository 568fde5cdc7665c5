#include "exports/MapExport.h"

#include <chrono>
#include <filesystem>
#include <utility>

#include "contours/ContourKML.h"
#include "contours/HTExport.h"
#include "exports/ChartPainter.h"
#include "formats/AtomicFile.h"
#include "formats/GPXFile.h"
#include "formats/HTConvert.h"
#include "interpolation/ImageExport.h"

namespace sondralis {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

template <typename T>
const T& Need(const T* source, const std::string& Path) {
  if (!source) throw EExportError("Cannot write " + Path + ": there is nothing to write into it yet.");
  return *source;
}

void WriteGPX(TGPX* Doc, const std::string& Path) {
  Need(Doc, Path);
  TGPXFile writer;
  writer.GPXd = Doc;
  writer.ExportGPX(Path);
}

}  // namespace

TExportRequest TExportRequest::WholeMap(const std::string& Folder, const std::string& TrackName) {
  TExportRequest request;
  request.Folder = Folder;
  request.TrackName = TrackName;
  request.Files = {{TOutput::DepthPicture, "depth.bmp"},    {TOutput::DepthPicture, "depth.jpg"},
                   {TOutput::ContourPicture, "contours.bmp"}, {TOutput::ContourTracks, "contours.gpx"},
                   {TOutput::ContourKML, "contours.kml"},   {TOutput::GridProjection, "depth.prj"},
                   {TOutput::DepthGrid, "depth.asc"},        {TOutput::Samples, "samples.csv"},
                   {TOutput::ContourHT, ""}};
  return request;
}

TExportRequest TExportRequest::OneFile(TOutput What, const std::string& Path) {
  TExportRequest request;
  const fs::path path(Path);
  request.Folder = path.parent_path().string();
  request.Files = {{What, path.filename().string()}};
  return request;
}

std::vector<std::string> TExportRequest::Paths() const {
  std::vector<std::string> paths;
  for (const TOutputFile& file : Files)
    if (file.What != TOutput::ContourHT) paths.push_back((fs::path(Folder) / file.Name).string());
  return paths;
}

void WriteOutput(TOutput What, const TMapResults& Results, const std::string& Path, const std::string& TrackName,
                 TFeedback& Feedback) {
  switch (What) {
    case TOutput::DepthPicture: WritePicture(Need(Results.DepthPicture, Path), Path); return;
    case TOutput::ContourPicture: WritePicture(Need(Results.ContourPicture, Path), Path); return;
    case TOutput::DepthGrid:
      WriteFileAtomically(Path, EncodeEsriAsciiGrid(Need(Results.Depths, Path), Results.Extent));
      return;
    case TOutput::GridProjection: WriteFileAtomically(Path, std::string(kWGS84Prj) + "\n"); return;
    case TOutput::Samples: WriteFileAtomically(Path, EncodeSamplesCSV(Results.SampleCoord, Results.SampleDepth)); return;
    case TOutput::SourceTracks: WriteGPX(Results.SourceTracks, Path); return;
    case TOutput::ContourTracks: WriteGPX(Results.Contours, Path); return;
    case TOutput::ContourKML: {
      TContourKMLOptions options;
      options.LabelStep = Results.ContourLabelStep;
      ExportContoursKML(Path, Need(Results.Contours, Path), Results.MaxDepth, Results.clShallow, Results.clDeep,
                        options);
      return;
    }
    case TOutput::ChartPicture: SaveChartPNG(Path, Need(Results.Chart, Path), Results.ChartWidth); return;
    case TOutput::SourceHT: {
      const TGPX& tracks = Need(Results.SourceTracks, Path);
      RefuseTooManyEntries(CheckSourceHT(tracks, Feedback));
      WriteFileAtomically(Path, BuildHTFile(tracks, HTTrackNameOf(TrackName)));
      return;
    }
    case TOutput::ContourHT: break;
  }
  throw EExportError("Cannot write " + Path + ": the contour HT parts are written into a folder.");
}

TMapExport::TMapExport(TExportRequest Request) : fRequest(std::move(Request)) {
  bool staged = fRequest.Files.size() > 1;
  for (const TOutputFile& file : fRequest.Files) staged = staged || file.What == TOutput::ContourHT;
  if (staged) fStaging = std::make_unique<TStagingFolder>(fs::path(fRequest.Folder));
}

TMapExport::~TMapExport() = default;

TExportResult TMapExport::Write(const TMapResults& Results, TFeedback& Feedback) {
  TExportResult result;
  const Clock::time_point start = Clock::now();
  double htSeconds = 0;
  for (const TOutputFile& file : fRequest.Files) {
    if (Feedback.Canceled()) throw TCanceled{};
    const std::string path = fStaging ? fStaging->File(file.Name) : (fs::path(fRequest.Folder) / file.Name).string();
    if (file.What != TOutput::ContourHT) {
      WriteOutput(file.What, Results, path, fRequest.TrackName, Feedback);
      if (file.What == TOutput::SourceHT) {
        const std::string warning = HTTrackNameWarning(HTTrackNameOf(fRequest.TrackName));
        if (!warning.empty()) {
          Feedback.Log(warning);
          result.Warnings.push_back(warning);
        }
      }
      continue;
    }
    const Clock::time_point htStart = Clock::now();
    Need(Results.Contours, fRequest.Folder);
    TContourHTExport ht(*Results.Contours, Feedback);
    if (fRequest.ReduceWaypoints && ht.NeedsReduction()) {
      ht.Reduce();
      result.ContoursReplaced = true;
    }
    THTPart part;
    while (ht.NextPart(part, fRequest.TrackName)) {
      WriteFileAtomically(fStaging->File(part.Name), part.Bytes);
      result.HTFiles.push_back(part.Name);
    }
    const std::string warning = HTTrackNameWarning(fRequest.TrackName);
    if (!warning.empty() && !result.HTFiles.empty()) {
      Feedback.Log(warning);
      result.Warnings.push_back(warning);
    }
    htSeconds += Seconds(htStart, Clock::now());
  }
  if (fStaging) {
    result.Files = fStaging->Publish();
    fStaging.reset();
  } else {
    for (const TOutputFile& file : fRequest.Files) result.Files.push_back(file.Name);
  }
  if (!result.HTFiles.empty())
    result.StaleHTParts = StaleHTParts(fs::path(fRequest.Folder), static_cast<int>(result.HTFiles.size()));
  result.HTSeconds = htSeconds;
  result.Seconds = Seconds(start, Clock::now()) - htSeconds;
  return result;
}

}  // namespace sondralis
