// The project object driven as sondralis-cli drives it, without any
// question: the export step's all-or-nothing publication, and cancelled
// runs that leave the previous results as they were.
#include "session/Project.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "contours/ContourLabels.h"
#include "exports/ChartPainter.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"
#include "session/SessionFixture.h"
#include "support/ChartSurfaces.h"
#include "support/RecordingFeedback.h"
#include "support/Files.h"

namespace sondralis::testing {
namespace {

using ::sondralis::testing::Names;

// The example lake loaded into a project with a small map, interpolated,
// and (with Trace) its contours traced every 2 m.
void MakeMap(TProject& project, bool Trace) {
  TSilentFeedback quiet;
  project.SetMapSize(300, 200);
  for (const std::string& path : {kSurvey, kShoreKml}) ASSERT_TRUE(project.AddFile(path, {}, quiet).Error.empty());
  ASSERT_TRUE(project.Interpolate(quiet));
  project.Settings.Contours.Step = 200;
  if (Trace) project.TraceContours(quiet);
}

TEST_F(SessionTest, ExportStepPublishesTheWholeMapOrNothing) {
  const fs::path out = dir / "map";
  fs::create_directories(out);
  std::ofstream(out / "depth.bmp") << "earlier";

  // No contours traced yet: the contour files have nothing to be made
  // from, so nothing is published and the earlier file stays.
  TProject project(2);
  MakeMap(project, false);
  TSilentFeedback quiet;
  const TExportRequest request = TExportRequest::WholeMap(out.string(), "Lake");
  EXPECT_THROW(project.Export(request, quiet), EExportError);
  EXPECT_EQ(Names(out), std::vector<std::string>{"depth.bmp"}) << "no staging folder left";
  EXPECT_EQ(ReadFile(out / "depth.bmp"), "earlier");

  // Cancelled before the first file: the same.
  project.TraceContours(quiet);
  RecordingFeedback cancelled;
  cancelled.Cancel();
  EXPECT_THROW(project.Export(request, cancelled), TCanceled);
  EXPECT_EQ(Names(out), std::vector<std::string>{"depth.bmp"});

  // Parts of an earlier map beyond the new ones are named, not removed.
  std::ofstream(out / "001.ht") << "old";
  std::ofstream(out / "002.ht") << "old";
  const TExportResult result = project.Export(request, quiet);
  EXPECT_EQ(result.HTFiles, std::vector<std::string>{"000.ht"});
  EXPECT_EQ(result.StaleHTParts, (std::vector<std::string>{"001.ht", "002.ht"}));
  EXPECT_EQ(result.Files, (std::vector<std::string>{"000.ht", "contours.bmp", "contours.gpx", "contours.kml",
                                                    "depth.asc", "depth.bmp", "depth.jpg", "depth.prj",
                                                    "samples.csv"}));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"000.ht", "001.ht", "002.ht", "contours.bmp", "contours.gpx",
                                                  "contours.kml", "depth.asc", "depth.bmp", "depth.jpg", "depth.prj",
                                                  "samples.csv"}));
  const QImage written(QString::fromStdString((out / "depth.bmp").string()));
  EXPECT_TRUE(written.convertToFormat(QImage::Format_RGB32) ==
              project.InterpolatedImage().Image().convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(ReadFile(out / "000.ht").substr(48, 5), std::string("Lake\0", 5));

  // The samples file holds the run's samples even after the mask was
  // rebuilt (which makes the mask's samples the shoreline alone).
  const int runSamples = project.DepthMap().InCoord.Length();
  project.UpdateMask();
  ASSERT_LT(project.DepthMap().InCoord.Length(), runSamples);
  project.Export(TExportRequest::OneFile(TOutput::Samples, (dir / "again.csv").string()), quiet);
  EXPECT_EQ(ReadFile(dir / "again.csv"), ReadFile(out / "samples.csv"));
}

// One file goes straight through the atomic writer: no staging folder, and
// an existing file is replaced only by a complete one.
TEST_F(SessionTest, ExportStepWritesOneFileInPlace) {
  TProject project(1);
  MakeMap(project, true);
  TSilentFeedback quiet;
  const std::string kml = (dir / "lake.kml").string();
  TMapExport exporting(TExportRequest::OneFile(TOutput::ContourKML, kml));
  EXPECT_EQ(Names(dir), std::vector<std::string>{}) << "nothing made before the write";
  const TExportResult result = exporting.Write(project.Results(), quiet);
  EXPECT_EQ(result.Files, std::vector<std::string>{"lake.kml"});
  EXPECT_EQ(Names(dir), std::vector<std::string>{"lake.kml"});
  EXPECT_NE(ReadFile(kml).find("<kml"), std::string::npos);

  // A picture with a name of no picture format: refused, the old file stays.
  std::ofstream(dir / "picture.png") << "keep";
  EXPECT_THROW(project.Export(TExportRequest::OneFile(TOutput::DepthPicture, (dir / "picture.png").string()), quiet),
               EFileError);
  EXPECT_EQ(ReadFile(dir / "picture.png"), "keep");
}

// Cancelled runs leave the depth map and the contours of the runs before
// them as they were, pictures and HT Contour map included.
TEST_F(SessionTest, ProjectKeepsThePreviousResultsWhenARunIsCancelled) {
  TProject project(2);
  MakeMap(project, true);
  const auto contours = TrackPoints(project.IsoData());
  ASSERT_FALSE(contours.empty());
  const QImage contourPicture = project.IsoMap().Image();
  const QImage depthPicture = project.InterpolatedImage().Image();
  const QImage contourMap = project.IsoImage().Image();
  const TBBox box = project.IsoView().BBox;

  // Cancelled at level 400 of the next contour run, with another step,
  // shown after every level.
  project.Settings.Contours.Step = 50;
  project.ContourShowInterval = std::chrono::milliseconds(0);
  RecordingFeedback cancelling;
  int levels = 0;
  EXPECT_THROW(project.TraceContours(cancelling,
                                     [&](int level) {
                                       ++levels;
                                       if (level == 400) cancelling.Cancel();
                                     }),
               TCanceled);
  EXPECT_EQ(levels, 9);
  EXPECT_EQ(TrackPoints(project.IsoData()), contours);
  EXPECT_TRUE(project.IsoMap().Image() == contourPicture);
  EXPECT_TRUE(project.IsoImage().Image() == contourMap);
  EXPECT_EQ(project.IsoView().BBox.Rm, box.Rm);
  EXPECT_TRUE(project.ContoursTraced());

  // A cancelled interpolation: the same picture, and the contours trace
  // from it as before.
  project.Settings.Interpolation.Style = 3;
  RecordingFeedback stop;
  stop.CancelAtProgress = 3;
  EXPECT_THROW(project.Interpolate(stop), TCanceled);
  EXPECT_FALSE(project.InterpolationRunning());
  EXPECT_TRUE(project.InterpolatedImage().Image() == depthPicture);
  project.Settings.Contours.Step = 200;
  TSilentFeedback quiet;
  project.TraceContours(quiet);
  EXPECT_EQ(TrackPoints(project.IsoData()), contours);
}

// Showing the contours on the HT Contour map redraws all of them, so doing
// it after every level makes a run grow with the square of its levels: it
// is done once per run where no window shows it, and at most a few times a
// second where one does. The map ends the same either way.
TEST_F(SessionTest, ContoursAreShownOnceWithoutAWindowAndSeldomWithOne) {
  TProject project(2);
  MakeMap(project, false);
  project.SetContourMapSize(200, 150);
  project.Settings.Contours.Step = 20;
  RecordingFeedback feedback;
  int shown = 0;
  project.TraceContours(feedback, [&](int) { ++shown; });
  EXPECT_EQ(shown, 0);
  ASSERT_GT(feedback.EventPumps, 90) << "levels traced";
  EXPECT_TRUE(project.IsoLoaded());
  const QImage once = project.IsoImage().Image();

  project.ContourShowInterval = std::chrono::milliseconds(0);
  RecordingFeedback every;
  shown = 0;
  project.TraceContours(every, [&](int) { ++shown; });
  EXPECT_EQ(shown, every.EventPumps);
  EXPECT_TRUE(project.IsoImage().Image() == once);

  // The window's session: its HT picture is told to change a few times a
  // second and once at the end.
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 300, 200);
  s.ResizePane(TPane::HTTracks, 200, 150);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.Interpolate());
  s.Settings.IsoStep = "20";
  host.Changes.clear();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(s.RunIsoMap());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto told = std::count(host.Changes.begin(), host.Changes.end(), TChange::HTPicture);
  EXPECT_GE(told, 1);
  EXPECT_LE(told, 2 + static_cast<long>(seconds * 4)) << seconds << " s";
  EXPECT_TRUE(s.Project().IsoImage().Image() == once);
}

// A stretch where the sounder lost the bottom reads as depth 0 all along.
// In a recording it is no shoreline: the map is made as if it were not
// there (a shoreline would be painted, cut out of the lake and sampled at
// depth 0).
TEST_F(SessionTest, LostBottomInARecordingChangesNothingOfTheMap) {
  std::string survey = ReadFile(kSurvey);
  std::string lost = "<trkseg>";
  for (int i = 0; i < 20; ++i) {
    char point[160];
    std::snprintf(point, sizeof point,
                  "<trkpt lat=\"47.2160\" lon=\"%.5f\"><extensions><h:depth>0</h:depth></extensions></trkpt>",
                  8.6370 + 0.0005 * i);
    lost += point;
  }
  survey.insert(survey.find("</trk>"), lost + "</trkseg>");
  const std::string withLoss = Write("lost.gpx", survey);
  const auto map = [&](const std::string& recording) {
    TProject project(2);
    TSilentFeedback quiet;
    project.SetMapSize(240, 180);
    EXPECT_TRUE(project.AddFile(recording, {}, quiet).Error.empty());
    EXPECT_TRUE(project.AddFile(kShoreKml, {}, quiet).Error.empty());
    EXPECT_TRUE(project.Interpolate(quiet));
    const auto all = project.DepthMap().DepthArray.All();
    std::vector<double> depths(all.begin(), all.end());
    return std::make_pair(project.DepthMap().InCoord.Length(), depths);
  };
  const auto [cleanSamples, clean] = map(kSurvey);
  const auto [lossSamples, loss] = map(withLoss);
  EXPECT_EQ(lossSamples, cleanSamples);
  ASSERT_EQ(loss.size(), clean.size());
  int changed = 0;
  for (std::size_t i = 0; i < clean.size(); ++i)
    changed += !(loss[i] == clean[i] || (std::isnan(loss[i]) && std::isnan(clean[i])));
  EXPECT_EQ(changed, 0) << "pixels whose depth changed";
}

// The window's Cancel during "Interpolate": the window is usable again, the
// progress bar hidden, and the first run leaves no picture behind.
TEST_F(SessionTest, CancelledInterpolationGivesTheWindowBack) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 400, 300);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.StartInterpolation());
  EXPECT_FALSE(s.WindowEnabled());
  s.Cancel();
  PollUntilDone(s, host);
  ExpectIdle(s);
  EXPECT_FALSE(s.Project().InterpLoaded());
  EXPECT_FALSE(s.Progress(TProgressBar::Interpolate).Visible);
  EXPECT_TRUE(s.Buttons().btnInterpolate);
  EXPECT_FALSE(s.Buttons().btnIsoMap);
  EXPECT_FALSE(s.Buttons().btnInterpolSaveBMP);
  // The next run is not cancelled by the last Cancel.
  ASSERT_TRUE(s.Interpolate());
  EXPECT_TRUE(s.Project().InterpLoaded());
  EXPECT_TRUE(s.Buttons().btnIsoMap);
  EXPECT_TRUE(host.Errors.empty());
}

// The chart tracer as a map made with the Surface method gets it: its lines
// in the contour document, one track per level from one step down; the
// chart shows exactly those lines, and after a pixel run lines of its own
// that never come near each other; the chart path's KML carries its labels
// and chart.png is published with the rest. A cancelled chart run leaves
// the contours as they were.
TEST_F(SessionTest, ChartTracerRunsForSurfaceMapsAndFeedsTheChart) {
  TProject project(2);
  project.Settings.Interpolation.Method = TInterpolationMethod::Surface;
  MakeMap(project, false);
  RecordingFeedback feedback;
  project.TraceContours(feedback);
  const TContourRun& run = project.ContourRun();
  ASSERT_EQ(run.Tracer, TContourTracer::Chart);
  EXPECT_EQ(run.Levels, ChartLevels(200, project.MaxDepth()));
  EXPECT_EQ(run.MinRing, kChartMinRing);
  EXPECT_EQ(run.LabelStep, 200);
  EXPECT_TRUE(feedback.Logged("Rings shorter than 8 px dropped: " + std::to_string(run.RingsDropped)));
  const TGPX& iso = project.IsoData();
  std::set<int> levels;
  for (const TGPXtrk* track : iso.trk) {
    const int level = static_cast<int>(track->trkseg(0)->Points(0)->HBdepth);
    EXPECT_TRUE(levels.insert(level).second) << "one track per level";
    for (const TGPXtrkseg* segment : *track)
      for (const TPoint4D2* p : *segment) ASSERT_EQ(p->HBdepth, level);
  }
  EXPECT_GE(levels.size(), 5u);
  EXPECT_TRUE(std::includes(run.Levels.begin(), run.Levels.end(), levels.begin(), levels.end()));
  EXPECT_EQ(project.IsoMap().Width(), 300);

  // The chart's lines are the document's, point for point.
  TSilentFeedback quiet;
  const TChartContent& chart = project.PrepareChart(quiet);
  std::vector<std::tuple<double, double, double>> charted;
  for (const TChartLine& line : *chart.Lines)
    for (const TChartPoint& p : line.Points) {
      double lon, lat;
      ChartPointToLonLat(*chart.Grid, p, lon, lat);
      charted.emplace_back(line.Level, lat, lon);
    }
  EXPECT_EQ(charted, TrackPoints(iso));
  EXPECT_EQ(chart.Step, 200);
  EXPECT_FALSE(chart.Shoreline.empty());
  EXPECT_EQ(chart.Title, "lake_survey.gpx, lake_shore.kml");

  const fs::path out = dir / "map";
  TExportRequest request = TExportRequest::WholeMap(out.string(), "Lake");
  request.Files.push_back({TOutput::ChartPicture, "chart.png"});
  project.Export(request, quiet);
  const QImage png(QString::fromStdString((out / "chart.png").string()));
  EXPECT_EQ(png.width(), project.ChartWidth());
  const std::string kml = ReadFile(out / "contours.kml");
  EXPECT_NE(kml.find("<Point>"), std::string::npos) << "a label point per line";
  EXPECT_NE(kml.find("<name>" + DepthLabelText(*levels.begin(), 200) + " m</name>"), std::string::npos);

  // Cancelled: the chart path's contours and picture stay.
  const auto contours = TrackPoints(iso);
  const QImage picture = project.IsoMap().Image();
  project.Settings.Contours.Step = 50;
  RecordingFeedback cancelling;
  cancelling.CancelAtProgress = 5;
  EXPECT_THROW(project.TraceContours(cancelling), TCanceled);
  EXPECT_EQ(TrackPoints(project.IsoData()), contours);
  EXPECT_TRUE(project.IsoMap().Image() == picture);
  EXPECT_EQ(project.ContourRun().Step, 200);

  // After the pixel tracer the chart traces its own lines, which keep
  // apart as the chart tracer's always do.
  project.Settings.Contours.Tracer = TContourTracer::Pixel;
  project.Settings.Contours.Step = 100;
  project.TraceContours(quiet);
  EXPECT_EQ(project.ContourRun().Tracer, TContourTracer::Pixel);
  EXPECT_EQ(project.ContourRun().LabelStep, 0);
  const TChartContent& own = project.PrepareChart(quiet);
  EXPECT_EQ(own.Step, 100);
  ASSERT_FALSE(own.Lines->empty());
  EXPECT_GT(ClosestApproach(*own.Lines, false).Distance, 1e-9);
}

}  // namespace
}  // namespace sondralis::testing
