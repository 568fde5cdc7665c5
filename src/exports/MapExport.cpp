#include "exports/MapExport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>

#include "contours/ContourKML.h"
#include "contours/HTExport.h"
#include "exports/ChartTiles.h"
#include "exports/ContourLayers.h"
#include "exports/DepthGeoTIFF.h"
#include "exports/HumminbirdWaypoints.h"
#include "exports/MapProducts.h"
#include "exports/SafetyDepth.h"
#include "exports/ChartPainter.h"
#include "formats/AtomicFile.h"
#include "formats/GPXFile.h"
#include "formats/HTConvert.h"
#include "interpolation/ImageExport.h"

namespace sondralis {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The feedback of the work on a set of files: lines and event points go
// through, the progress of the file being made (and of what it computes)
// becomes a part of the set's, each file an equal share, and it stops with
// the set.
class TSetFeedback final : public TFeedback {
 public:
  static constexpr int kSteps = 100;  // steps of the set's progress per file

  TSetFeedback(TFeedback& Set, int Files) : fSet(Set), fFiles(Files) { StopWith(Set); }
  // The file being made now, from 0; its start is shown.
  void StartFile(int File) {
    fFile = File;
    if (fFiles > 1) fSet.SetProgress(fFile * kSteps, fFiles * kSteps);
  }
  void Log(const std::string& Line) override { fSet.Log(Line); }
  void ProcessEvents() override { fSet.ProcessEvents(); }
  // A part that hides its progress (Max 0) leaves the set's where it is;
  // one file alone shows its own.
  void SetProgress(int Position, int Max) override {
    if (fFiles <= 1) return fSet.SetProgress(Position, Max);
    if (Max <= 0) return;
    fSet.SetProgress(fFile * kSteps + std::clamp(Position, 0, Max) * kSteps / Max, fFiles * kSteps);
  }

 private:
  TFeedback& fSet;
  int fFiles;
  int fFile = 0;
};

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


// The files of a shapefile set named by its .shp file.
std::vector<std::string> ShapefileSet(const std::string& Name) {
  const std::string stem = Name.size() > 4 ? Name.substr(0, Name.size() - 4) : Name;
  return {Name, stem + ".shx", stem + ".dbf", stem + ".prj", stem + ".cpg"};
}

// A contour layer's features: the tracks with a segment of two points or
// more.
int LineFeatures(const TGPX& Lines) {
  int count = 0;
  for (const TGPXtrk* track : Lines.trk) {
    bool drawn = false;
    for (const TGPXtrkseg* segment : *track) drawn = drawn || segment->Count() >= 2;
    count += drawn;
  }
  return count;
}

std::string Plural(long long Count, const std::string& One, const std::string& Many) {
  return std::to_string(Count) + " " + (Count == 1 ? One : Many);
}

std::string Decimals(double Value, int Digits) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", Digits, Value);
  return text;
}

using TNote = std::pair<std::string, std::string>;

// Writes one file to Path. The exports for other programs return what they
// wrote as a caption and a line; the window's own files return nothing.
std::optional<TNote> WriteFile(TOutput What, TMapProducts& Products, const TMapResults& Results,
                               const TExportRequest& Request, const std::string& Path, TFeedback& Feedback) {
  const std::string name = fs::path(Path).filename().string();
  switch (What) {
    case TOutput::DepthPicture: WritePicture(Products.DepthPicture(Path), Path); return {};
    case TOutput::ContourPicture: WritePicture(Products.ContourPicture(Path), Path); return {};
    case TOutput::DepthGrid:
      WriteFileAtomically(Path, EncodeEsriAsciiGrid(Need(Results.Depths, Path), Results.Extent));
      return {};
    case TOutput::GridProjection: WriteFileAtomically(Path, std::string(kWGS84Prj) + "\n"); return {};
    case TOutput::Samples: WriteFileAtomically(Path, EncodeSamplesCSV(Results.SampleCoord, Results.SampleDepth)); return {};
    case TOutput::SourceTracks: WriteGPX(Results.SourceTracks, Path); return {};
    case TOutput::ContourTracks: WriteGPX(Results.Contours, Path); return {};
    case TOutput::ContourKML: {
      const TGPX& contours = Need(Results.Contours, Path);
      TContourKMLOptions options;
      options.LabelStep = Results.ContourLabelStep;
      std::optional<TKMLSafety> folder;
      if (const TGPX* safety = Products.SafetyLines(Path)) {
        folder = TKMLSafety{safety, Request.SafetyDepth, kSafetyColor};
        options.Safety = &*folder;
      }
      ExportContoursKML(Path, contours, Results.MaxDepth, Results.clShallow, Results.clDeep, options);
      return {};
    }
    case TOutput::ChartPicture: SaveChartPNG(Path, Need(Results.Chart, Path), Results.ChartWidth); return {};
    case TOutput::SourceHT: {
      const TGPX& tracks = Need(Results.SourceTracks, Path);
      RefuseTooManyEntries(CheckSourceHT(tracks, Feedback));
      WriteFileAtomically(Path, BuildHTFile(tracks, HTTrackNameOf(Request.TrackName)));
      return {};
    }
    case TOutput::ContourHT: break;

    case TOutput::DepthGeoTIFF: {
      const TExportGrid& grid = Products.Grid(Path);
      WriteDepthGeoTIFF(Path, grid, Products.Distances(Path), Feedback);
      return TNote{"GeoTIFF", name + ", " + std::to_string(grid.Columns()) + " x " + std::to_string(grid.Rows()) +
                                  " cells: depth in cm, distance to the nearest sounding in m"};
    }
    case TOutput::ContourGeoPackage: {
      const TGPX& contours = Need(Results.Contours, Path);
      const TGPX* safety = Products.SafetyLines(Path);
      std::optional<TSafetyContour> layer;
      if (safety) layer = TSafetyContour{safety, Request.SafetyDepth};
      WriteContoursGeoPackage(Path, contours, Products.Samples(), layer, Feedback);
      return TNote{"GeoPackage", name + ": " + Plural(LineFeatures(contours), "contour line", "contour lines") + ", " +
                                     Plural(Products.Samples().Count(), "sounding", "soundings") +
                                     (safety ? ", " + Plural(LineFeatures(*safety), "safety line", "safety lines") : "")};
    }
    case TOutput::ContourShapefile: {
      const TGPX& contours = Need(Results.Contours, Path);
      WriteContoursShapefile(Path, contours, Feedback);
      const std::vector<std::string> set = ShapefileSet(name);
      return TNote{"Shapefile", set[0] + " (with " + set[1] + ", " + set[2] + ", " + set[3] + ", " + set[4] + "): " +
                                    Plural(LineFeatures(contours), "contour line", "contour lines")};
    }
    case TOutput::ChartMBTiles: {
      const TExportGrid& grid = Products.Grid(Path);
      TChartLayers layers;
      layers.Picture = &Products.TilePicture(Path);
      layers.Contours = Results.Contours;
      layers.Shoreline = Products.Shoreline();
      layers.Safety = Products.SafetyLines(Path);
      WriteChartMBTiles(Path, grid, layers, Products.Title(), Feedback);
      const TZoomLevels zoom = ChartZoomLevels(grid);
      return TNote{"MBTiles", name + ": zoom levels " + std::to_string(zoom.Min) + " to " + std::to_string(zoom.Max)};
    }
    case TOutput::ChartPDF: {
      const TChartSheet sheet = Products.Sheet(Path);
      WriteChartPDF(Path, sheet, Request.Paper, Feedback);
      return TNote{"Chart", name + ": " + PaperName(Request.Paper) + " landscape, " +
                                Plural(static_cast<long long>(sheet.Chart.Lines->size()), "contour line", "contour lines")};
    }
    case TOutput::SpotsGPX:
    case TOutput::SpotsHWR: {
      const std::vector<TSpot>& spots = Products.Spots(Path);
      if (What == TOutput::SpotsHWR) {
        WriteSpotsHWR(Path, spots);
        return TNote{"Waypoints", name + ": " + Plural(static_cast<long long>(spots.size()), "waypoint", "waypoints") +
                                      " for the unit"};
      }
      WriteSpotsGPX(Path, spots);
      long long holes = 0, humps = 0, drops = 0;
      for (const TSpot& spot : spots)
        (spot.Kind == TSpotKind::Hole ? holes : spot.Kind == TSpotKind::Hump ? humps : drops) += 1;
      return TNote{"Spots", name + ": " + Plural(holes, "hole", "holes") + ", " + Plural(humps, "hump", "humps") + ", " +
                                Plural(drops, "drop-off", "drop-offs")};
    }
    case TOutput::ReportCSV:
    case TOutput::ReportJSON: {
      const TLakeReport& report = Products.Report(Path);
      const bool csv = What == TOutput::ReportCSV;
      WriteFileAtomically(Path, csv ? EncodeReportCSV(report) : EncodeReportJSON(report));
      if (!csv) return TNote{"Report", name + ": the same figures for programs"};
      std::string text = name + ": ";
      if (std::isfinite(report.LakeArea)) text += "lake " + Decimals(report.LakeArea / 10000, 2) + " ha, ";
      text += "surveyed " + Decimals(report.SurveyedArea / 10000, 2) + " ha, volume " + Decimals(report.Volume, 0) +
              " m3, mean depth " + Decimals(report.MeanDepth / 100, 2) + " m, greatest " +
              Decimals(report.GreatestDepth / 100, 2) + " m";
      return TNote{"Report", text};
    }
  }
  throw EExportError("Cannot write " + Path + ": the contour HT parts are written into a folder.");
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

void TExportRequest::Add(const TExportChoice& Choice) {
  const std::pair<bool, TOutputFile> chosen[] = {
      {Choice.GeoTIFF, {TOutput::DepthGeoTIFF, "depth.tif"}},
      {Choice.GeoPackage, {TOutput::ContourGeoPackage, "contours.gpkg"}},
      {Choice.Shapefile, {TOutput::ContourShapefile, "contours.shp"}},
      {Choice.MBTiles, {TOutput::ChartMBTiles, "chart.mbtiles"}},
      {Choice.PDF, {TOutput::ChartPDF, "chart.pdf"}},
      {Choice.Spots, {TOutput::SpotsGPX, "spots.gpx"}},
      {Choice.Spots, {TOutput::SpotsHWR, "spots.hwr"}},
      {Choice.Report, {TOutput::ReportCSV, "report.csv"}},
      {Choice.Report, {TOutput::ReportJSON, "report.json"}},
  };
  for (const auto& [wanted, file] : chosen)
    if (wanted) Files.push_back(file);
  Relief = Choice.Relief;
  SafetyDepth = Choice.SafetyDepth;
  Paper = Choice.Paper;
}

std::vector<std::string> TExportRequest::Paths() const {
  std::vector<std::string> paths;
  for (const TOutputFile& file : Files) {
    if (file.What == TOutput::ContourHT) continue;
    if (file.What == TOutput::ContourShapefile) {
      for (const std::string& name : ShapefileSet(file.Name)) paths.push_back((fs::path(Folder) / name).string());
      continue;
    }
    paths.push_back((fs::path(Folder) / file.Name).string());
  }
  return paths;
}

void WriteOutput(TOutput What, const TMapResults& Results, const std::string& Path, const std::string& TrackName,
                 TFeedback& Feedback) {
  TExportRequest request;
  request.TrackName = TrackName;
  TMapProducts products(Results, request, Feedback);
  WriteFile(What, products, Results, request, Path, Feedback);
}

TMapExport::TMapExport(TExportRequest Request) : fRequest(std::move(Request)) {
  bool staged = fRequest.Files.size() > 1;
  for (const TOutputFile& file : fRequest.Files)
    staged = staged || file.What == TOutput::ContourHT || file.What == TOutput::ContourShapefile;
  if (!staged) return;
  fStaging = std::make_unique<TStagingFolder>(fs::path(fRequest.Folder));
  // A file that cannot be replaced is refused before any work.
  std::vector<std::string> names;
  for (const TOutputFile& file : fRequest.Files)
    if (file.What != TOutput::ContourHT) names.push_back(file.Name);
  fStaging->CheckTargets(names);
}

TMapExport::~TMapExport() = default;

TExportResult TMapExport::Write(const TMapResults& Results, TFeedback& Feedback) {
  TExportResult result;
  const Clock::time_point start = Clock::now();
  double htSeconds = 0;
  TSetFeedback setFeedback(Feedback, static_cast<int>(fRequest.Files.size()));
  TMapProducts products(Results, fRequest, setFeedback);
  std::size_t notesLogged = 0;
  // The notes of the exports for other programs and of what they derived
  // (relief, safety depth), logged as they come.
  const auto note = [&](const TNote& Note, double Seconds) {
    for (; notesLogged < products.Notes.size(); ++notesLogged) {
      Feedback.Log(products.Notes[notesLogged].first + ": " + products.Notes[notesLogged].second);
      result.Notes.push_back(products.Notes[notesLogged]);
    }
    if (Note.first.empty()) return;
    Feedback.Log(Note.first + ": " + Note.second + " (" + Decimals(Seconds, 2) + " s)");
    result.Notes.push_back(Note);
  };
  // In a set of files, an output the data cannot give is left out; alone,
  // it fails the export.
  const auto leaveOut = [&](const std::string& Name, const std::string& Reason) {
    if (!fStaging) throw;
    result.NotMade.push_back({Name, Reason});
    result.Warnings.push_back(Name + (Name.starts_with("the ") ? " were" : " was") + " not made: " + Reason);
    Feedback.Log(result.Warnings.back());
  };
  int index = 0;
  for (const TOutputFile& file : fRequest.Files) {
    // Between two files the caller's events may run (a window stays drawn
    // and its Cancel can be clicked), and the progress counts the files.
    setFeedback.StartFile(index++);
    Feedback.ProcessEvents();
    if (Feedback.Canceled()) throw TCanceled{};
    const std::string path = fStaging ? fStaging->File(file.Name) : (fs::path(fRequest.Folder) / file.Name).string();
    if (file.What != TOutput::ContourHT) {
      const Clock::time_point fileStart = Clock::now();
      std::optional<TNote> written;
      try {
        written = WriteFile(file.What, products, Results, fRequest, path, setFeedback);
      } catch (const EOutputNotMade& e) {
        leaveOut(file.Name, e.what());
        continue;
      } catch (const EHTConvertError& e) {
        leaveOut(file.Name, e.what());
        continue;
      }
      note(written.value_or(TNote{}), Seconds(fileStart, Clock::now()));
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
    try {
      TContourHTExport ht(*Results.Contours, setFeedback, Results.ContoursApart);
      if (fRequest.ReduceWaypoints && ht.NeedsReduction()) {
        ht.Reduce();
        result.ContoursReplaced = true;
      }
      THTPart part;
      while (ht.NextPart(part, fRequest.TrackName)) {
        WriteFileAtomically(fStaging->File(part.Name), part.Bytes);
        result.HTFiles.push_back(part.Name);
      }
    } catch (const EHTConvertError& e) {
      // No part without the others: the unit would show half the lines.
      for (const std::string& name : result.HTFiles) fs::remove(fStaging->File(name));
      result.HTFiles.clear();
      // The unit's own refusal of an empty set says little on a map.
      leaveOut("the HT files", std::string(e.what()) == kHTNoPointMessage
                                   ? "the map has no contour line (no level was traced inside the covered area)"
                                   : e.what());
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
  // Also when the HT files were left out: the unit would load the old ones
  // with this map.
  const bool htAsked = std::any_of(fRequest.Files.begin(), fRequest.Files.end(),
                                   [](const TOutputFile& file) { return file.What == TOutput::ContourHT; });
  if (htAsked) result.StaleHTParts = StaleHTParts(fs::path(fRequest.Folder), static_cast<int>(result.HTFiles.size()));
  result.HTSeconds = htSeconds;
  result.Seconds = Seconds(start, Clock::now()) - htSeconds;
  return result;
}

}  // namespace sondralis
