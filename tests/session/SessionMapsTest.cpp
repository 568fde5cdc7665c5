// The session's interpolation and ISO map run on the example lake, driven
// as the window drives them, and the saves of their results.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <fstream>
#include <iomanip>
#include <locale>
#include <sstream>
#include <set>

#include "formats/HTConvert.h"
#include "formats/SourceTracks.h"
#include "session/SessionFixture.h"

namespace sondralis::testing {
namespace {

TEST_F(SessionTest, InterpolateAndTraceTheLake) {
  TSession s(host, host, 2);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.StartInterpolation());
  EXPECT_FALSE(s.WindowEnabled());
  EXPECT_TRUE(s.Busy());
  EXPECT_TRUE(s.SizeFrozen());
  EXPECT_FALSE(s.Buttons().btnInterpolate);
  EXPECT_TRUE(s.InterpolatedLegendVisible());
  // The window is held while the workers run: commands change nothing.
  const TMapInfo info = s.Project().MapInfo();
  s.StartOver();
  s.TrkZoomIn();
  s.Pan(TPane::Tracks, 100, 100, 300, 300);
  EXPECT_FALSE(s.RunIsoMap());
  EXPECT_TRUE(s.Project().FileLoaded());
  EXPECT_EQ(s.Project().MapInfo(), info);
  PollUntilDone(s, host);

  EXPECT_TRUE(s.Project().InterpLoaded());
  EXPECT_TRUE(s.Buttons().btnInterpolate && s.Buttons().btnInterpolSaveBMP && s.Buttons().btnIsoMap);
  EXPECT_TRUE(s.SizeFrozen()) << "the size stays frozen until \"Start over\"";
  const TProgress progress = s.Progress(TProgressBar::Interpolate);
  EXPECT_FALSE(progress.Visible);
  constexpr int W = TSession::kDefaultPaneWidth, H = TSession::kDefaultPaneHeight;
  EXPECT_EQ(progress.Max, W - 1);
  EXPECT_EQ(progress.Position, W - 1);
  EXPECT_EQ(s.Project().InterpolatedImage().Width(), W);
  ExpectIdle(s);

  // The depth under the mouse: the run's depth in metres where it
  // interpolated, nothing elsewhere.
  int wet = 0, dry = 0;
  for (int x = 0; x < W; x += 7)
    for (int y = 0; y < H; y += 7) {
      const double depth = s.Project().DepthMap().DepthAt(x, y);
      const std::string text = s.DepthText(x, y);
      if (!s.Project().DepthMap().ShadowArray[x][y]) {
        ++dry;
        ASSERT_EQ(text, "") << x << ", " << y;
        continue;
      }
      ++wet;
      std::ostringstream expected;
      expected.imbue(std::locale::classic());
      expected << std::fixed << std::setprecision(1) << depth / 100 << " m";
      ASSERT_EQ(text, expected.str()) << x << ", " << y;
    }
  EXPECT_GT(wet, 1000);
  EXPECT_GT(dry, 1000);
  s.MouseMove(TPane::Interpolated, 0, 0, false);
  EXPECT_EQ(s.LabelText(TLabel::InterpolDepth), "");

  // Steps that are no whole number above 0 are refused before anything is
  // cleared.
  for (const char* step : {"0", "", "ten", "-100"}) {
    host.Errors.clear();
    s.Settings.IsoStep = step;
    EXPECT_FALSE(s.RunIsoMap()) << step;
    ASSERT_EQ(host.Errors.size(), 1u) << step;
    EXPECT_NE(host.Errors[0].find("step size"), std::string::npos) << host.Errors[0];
    EXPECT_FALSE(s.Project().IsoLoaded());
    EXPECT_FALSE(s.Buttons().btnIsoSaveGPX);
  }
  host.Errors.clear();

  s.Settings.IsoStep = "100";
  ASSERT_TRUE(s.RunIsoMap());
  const auto contours = TrackPoints(s.Project().IsoData());
  ASSERT_GT(contours.size(), 1000u);
  std::set<double> levels;
  for (const auto& [depth, lat, lon] : contours) levels.insert(depth);
  EXPECT_GE(levels.size(), 10u);
  EXPECT_LE(*levels.rbegin(), 1900);
  for (double level : levels) EXPECT_EQ(std::fmod(level, 100), 0) << level;
  EXPECT_EQ(s.LabelText(TLabel::NumIsoTracks), "# Tracks: " + std::to_string(s.Project().IsoData().trk.Count()));
  EXPECT_EQ(s.LabelText(TLabel::GeneratedPoints), "# Points: " + std::to_string(CountHTPoints(s.Project().IsoData(), 9)));
  EXPECT_EQ(s.Progress(TProgressBar::IsoMap).Max, 1900);
  EXPECT_FALSE(s.Progress(TProgressBar::IsoMap).Visible);
  EXPECT_TRUE(s.Project().IsoLoaded());
  const TButtonStates& b = s.Buttons();
  EXPECT_TRUE(b.btnIsoMap && b.btnIsoSaveBMP && b.btnIsoSaveGPX && b.btnCreateHT && b.btnHtFit && b.btnHtZoom);
  EXPECT_EQ(s.Project().IsoImage().Width(), W) << "the HT Contour map shows the contours";

  // A second run replaces the contours; neither new colours nor a changed
  // view nor a rebuilt mask between "Interpolate" and "ISO Map" move them.
  ASSERT_TRUE(s.RunIsoMap());
  EXPECT_EQ(TrackPoints(s.Project().IsoData()), contours);
  s.SetShallowColor(0x00FF00);
  s.SetDeepColor(0x000000);
  s.TrkZoomIn();
  s.Pan(TPane::Tracks, 100, 100, 180, 130);
  s.ShowInterpolatedMap();
  ASSERT_TRUE(s.RunIsoMap());
  EXPECT_EQ(TrackPoints(s.Project().IsoData()), contours);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();

  // The contour GPX loads again with every point at its level.
  host.SaveReplies = {Path("contours.gpx")};
  ASSERT_TRUE(s.SaveIsoTracks());
  EXPECT_EQ(host.SaveRequests.back().Kind, SaveKind::ContourTracks);
  EXPECT_EQ(host.SaveRequests.back().Title, "Save iso tracks to GPX");
  TGPX reread;
  ASSERT_TRUE(ReadSourceDocument(Path("contours.gpx"), reread).Loaded);
  const auto back = TrackPoints(reread);
  ASSERT_EQ(back.size(), contours.size());
  for (std::size_t i = 0; i < back.size(); ++i) {
    ASSERT_EQ(std::get<0>(back[i]), std::get<0>(contours[i])) << "point " << i;
    ASSERT_NEAR(std::get<1>(back[i]), std::get<1>(contours[i]), 1e-9);
    ASSERT_NEAR(std::get<2>(back[i]), std::get<2>(contours[i]), 1e-9);
  }

  // Both pictures save through the same dialog.
  host.SaveReplies = {Path("depth.bmp"), Path("contours.jpg")};
  EXPECT_EQ(s.SaveInterpolatedImage(), Path("depth.bmp"));
  EXPECT_EQ(s.SaveIsoImage(), Path("contours.jpg"));
  EXPECT_EQ(fs::file_size(Path("depth.bmp")), 54u + (W * 3 + 3) / 4 * 4 * H);
  EXPECT_EQ(ReadFile(Path("contours.jpg")).substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(host.SaveRequests.back().Kind, SaveKind::Picture);

  // "Create HT-File" writes the contours and gives its button back.
  s.Settings.TrackName = "Lake";
  host.SaveReplies = {Path("000.ht"), Path("001.ht")};
  const HTExportResult ht = s.CreateHTFile();
  EXPECT_EQ(ht.Outcome, HTExportOutcome::Done);
  ASSERT_FALSE(ht.Files.empty());
  EXPECT_EQ(ReadFile(ht.Files[0]).substr(48, 5), std::string("Lake\0", 5));
  EXPECT_EQ(host.SaveRequests.back().Kind, SaveKind::HTContourPart);
  EXPECT_EQ(s.LabelText(TLabel::HTState), "done");
  EXPECT_TRUE(s.Buttons().btnCreateHT);
  ExpectIdle(s);
}

// A radius that is no whole number from 0 to 999 refuses the run with a
// message before anything changes.
TEST_F(SessionTest, RadiusThatIsNoNumberRefusesTheRun) {
  TSession s(host, host, 1);
  s.ResizePane(TPane::Tracks, 160, 110);
  s.AddFiles({kSurvey});
  const auto points = TrackPoints(s.Project().GPXdata());
  for (const char* radius : {"", "abc", "-5", "1000"}) {
    host.Errors.clear();
    s.Settings.InterpolationWidth = radius;
    EXPECT_FALSE(s.StartInterpolation()) << radius;
    ASSERT_EQ(host.Errors.size(), 1u) << radius;
    EXPECT_NE(host.Errors[0].find("extrapolation radius"), std::string::npos) << host.Errors[0];
    EXPECT_FALSE(s.InterpolationRunning());
    EXPECT_FALSE(s.Project().InterpLoaded());
    EXPECT_EQ(TrackPoints(s.Project().GPXdata()), points) << "nothing thinned";
    ExpectIdle(s);
  }
}

// "Save Image...": the dialog, the formats by extension in any letter case,
// and an existing file replaced only after a Yes.
TEST_F(SessionTest, SaveImageAsksAndWritesBmpOrJpeg) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 160, 110);
  s.AddFiles({kSurvey, kShoreKml});
  EXPECT_EQ(s.SaveInterpolatedImage(), "") << "no run yet: no dialog";
  EXPECT_TRUE(host.SaveRequests.empty());
  ASSERT_TRUE(s.Interpolate());

  host.SaveReplies = {std::nullopt, Path("a.png"), Path("a.BMP"), Path("b.Jpg")};
  EXPECT_EQ(s.SaveInterpolatedImage(), "");  // cancelled
  EXPECT_EQ(s.SaveInterpolatedImage(), "");  // unsupported: an error naming the formats
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find(".bmp, .jpg or .jpeg"), std::string::npos) << host.Errors[0];
  EXPECT_EQ(host.SaveRequests[0].Title, "Save image");
  EXPECT_EQ(host.SaveRequests[0].Filter, "Bitmap Image|*.bmp|JPEG Image|*.jpg");
  EXPECT_EQ(host.SaveRequests[0].DefaultExt, "bmp");
  EXPECT_EQ(host.SaveRequests[0].Kind, SaveKind::Picture);
  EXPECT_EQ(s.SaveInterpolatedImage(), Path("a.BMP"));
  EXPECT_EQ(s.SaveInterpolatedImage(), Path("b.Jpg"));
  const std::string bmp = ReadFile(Path("a.BMP"));
  EXPECT_EQ(bmp.size(), 54u + (160 * 3 + 3) / 4 * 4 * 110);
  EXPECT_EQ(ReadFile(Path("b.Jpg")).substr(0, 2), "\xFF\xD8");
  EXPECT_TRUE(host.Questions.empty()) << "no question for new files";

  // An existing file is replaced only after a Yes.
  std::ofstream(Path("a.BMP"), std::ios::binary | std::ios::trunc) << "keep me";
  host.SaveReplies = {Path("a.BMP"), Path("a.BMP")};
  host.YesNoReplies = {false, true};
  EXPECT_EQ(s.SaveInterpolatedImage(), "");
  EXPECT_EQ(ReadFile(Path("a.BMP")), "keep me");
  EXPECT_EQ(host.Questions.back(), "Overwrite existing " + Path("a.BMP") + " ?");
  EXPECT_EQ(s.SaveInterpolatedImage(), Path("a.BMP"));
  EXPECT_EQ(ReadFile(Path("a.BMP")), bmp);
  EXPECT_FALSE(fs::exists(Path("a.png")));
  ExpectIdle(s);
}

TEST_F(SessionTest, DepthsBelowOneCentimetreLeaveNoLevelToTrace) {
  // A small survey whose readings are all below 1 cm: the maximum depth is
  // 0, so the picture has no level beyond its shallow end.
  std::string gpx = "<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns:h=\"urn:x\"><trk>";
  for (int row = 0; row < 5; ++row) {
    gpx += "<trkseg>";
    for (int i = 0; i < 20; ++i)
      gpx += "<trkpt lat=\"" + std::to_string(47 + row * 0.001) + "\" lon=\"" + std::to_string(8 + i * 0.0005) +
             "\"><extensions><h:depth>0.5</h:depth></extensions></trkpt>";
    gpx += "</trkseg>";
  }
  gpx += "</trk></gpx>";
  TSession s(host, host, 1);
  s.AddFiles({Write("shallow.gpx", gpx)});
  ASSERT_EQ(s.Project().MaxDepth(), 0);
  ASSERT_TRUE(s.Interpolate());
  EXPECT_FALSE(s.RunIsoMap());
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find("no depth level"), std::string::npos) << host.Errors[0];
  EXPECT_FALSE(s.Project().IsoLoaded());
  EXPECT_FALSE(s.Buttons().btnIsoSaveGPX);
  EXPECT_TRUE(s.Buttons().btnIsoMap);
  ExpectIdle(s);
}

// The ISO Contour tab's chart settings reach the project, a ring limit that
// is no whole number is refused before anything changes, and "Save Chart..."
// asks for a PNG file, refuses any other, replaces an existing one only
// after a Yes and writes the chart of the map.
TEST_F(SessionTest, ChartSettingsAndSaveChart) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 240, 160);
  s.AddFiles({kSurvey, kShoreKml});
  EXPECT_FALSE(s.Buttons().btnIsoSaveChart);
  EXPECT_EQ(s.SaveChart(), "") << "no map yet: no dialog";
  ASSERT_TRUE(s.Interpolate());
  EXPECT_TRUE(s.Buttons().btnIsoSaveChart);

  s.Settings.IsoStep = "200";
  s.Settings.IsoTracer = TContourTracer::Chart;
  for (const char* ring : {"abc", "-1", "10000", "2.5"}) {
    host.Errors.clear();
    s.Settings.IsoMinRing = ring;
    EXPECT_FALSE(s.RunIsoMap()) << ring;
    ASSERT_EQ(host.Errors.size(), 1u) << ring;
    EXPECT_NE(host.Errors[0].find("ring limit"), std::string::npos) << host.Errors[0];
    EXPECT_FALSE(s.Project().ContoursTraced());
    EXPECT_EQ(s.SaveChart(), "") << "refused before the dialog";
  }
  EXPECT_TRUE(host.SaveRequests.empty());
  host.Errors.clear();
  s.Settings.IsoMinRing = "20";
  s.Settings.IsoSmooth = true;
  s.Settings.IsoLabels = false;
  ASSERT_TRUE(s.RunIsoMap());
  const TContourSettings& contours = s.Project().Settings.Contours;
  EXPECT_EQ(contours.Smooth, kSmoothPasses);
  EXPECT_FALSE(contours.Labels);
  const TContourRun& run = s.Project().ContourRun();
  EXPECT_EQ(run.Tracer, TContourTracer::Chart);
  EXPECT_EQ(run.MinRing, 20);
  EXPECT_EQ(run.LabelStep, 0);
  EXPECT_TRUE(host.Logged("Rings shorter than 20 px dropped: " + std::to_string(run.RingsDropped)));

  host.SaveReplies = {std::nullopt, Path("chart.jpg"), Path("chart.PNG")};
  EXPECT_EQ(s.SaveChart(), "");
  EXPECT_EQ(s.SaveChart(), "");
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find(".png"), std::string::npos) << host.Errors[0];
  EXPECT_FALSE(fs::exists(Path("chart.jpg")));
  EXPECT_EQ(s.SaveChart(), Path("chart.PNG"));
  const SaveFileRequest& asked = host.SaveRequests.back();
  EXPECT_EQ(asked.Kind, SaveKind::Chart);
  EXPECT_EQ(asked.Title, "Save chart");
  EXPECT_EQ(asked.Filter, "PNG Image|*.png");
  EXPECT_EQ(asked.ProposedName, "chart.png");
  const std::string png = ReadFile(Path("chart.PNG"));
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(QImage(QString::fromStdString(Path("chart.PNG"))).width(), s.Project().ChartWidth());
  EXPECT_TRUE(host.Questions.empty());

  std::ofstream(Path("chart.PNG"), std::ios::binary | std::ios::trunc) << "keep me";
  host.SaveReplies = {Path("chart.PNG"), Path("chart.PNG")};
  host.YesNoReplies = {false, true};
  EXPECT_EQ(s.SaveChart(), "");
  EXPECT_EQ(ReadFile(Path("chart.PNG")), "keep me");
  EXPECT_EQ(s.SaveChart(), Path("chart.PNG"));
  EXPECT_EQ(ReadFile(Path("chart.PNG")).substr(0, 8), png.substr(0, 8));
  EXPECT_EQ(host.Errors.size(), 1u);
  ExpectIdle(s);
}

}  // namespace
}  // namespace sondralis::testing
