// The session driven headlessly on the example lake: loading, the map
// information, fit and zoom, the saves, the mouse on the panes, and
// "Start over".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <utility>

#include "formats/SourceTracks.h"
#include "session/ColorLegend.h"
#include "session/MapInfo.h"
#include "session/SessionFixture.h"

namespace sondralis::testing {
namespace {

// Great-circle distance on the WGS84 equatorial sphere, for checking the
// information texts independently of the session.
double Haversine(double lat1, double lon1, double lat2, double lon2) {
  const double r = M_PI / 180;
  const double a = std::pow(std::sin((lat2 - lat1) * r / 2), 2) +
                   std::cos(lat1 * r) * std::cos(lat2 * r) * std::pow(std::sin((lon2 - lon1) * r / 2), 2);
  return 2 * 6378137.0 * std::asin(std::sqrt(a));
}

TEST(MapInfo, ResolutionOfAViewShowing400Metres) {
  // 800 pixels across 400 m at 47° N: the first resolution figure is 50.
  TGPXDraw view;
  view.Resize(800, 600);
  view.MaxDepth = 1234;
  const double lat = 47.0, lon = 8.5;
  const double span = 400 / (6378137.0 * std::cos(lat * M_PI / 180)) * 180 / M_PI;  // degrees of longitude
  view.BBox.O = lon;
  view.BBox.S = lat;
  view.BBox.Rm = 799 / (span * view.Aspect());  // column 799 lies `span` east of column 0
  const TMapInfo info = ComputeMapInfo(view, 800, 600);
  EXPECT_EQ(info.AreaWidth, 400);
  EXPECT_EQ(info.ResolutionX, 50);
  EXPECT_EQ(info.AreaText.rfind("Area: 400 x ", 0), 0u) << info.AreaText;
  EXPECT_EQ(info.ResolutionText.rfind("Resolution: 50 x ", 0), 0u) << info.ResolutionText;
  EXPECT_EQ(info.MaxDepthText, "Max Depth: 1234 cm");
  EXPECT_EQ(info.LegendText, "1234 cm");
  EXPECT_EQ(info.ScreenSizeText, "Screen Size: 800 x 600 px");

  // The legend strip starts at the shallow colour and never reaches the deep one.
  TCanvas strip(162, 14);
  DrawColorRange(strip, 255, 16711680);
  EXPECT_EQ(strip.Pixel(0, 13), 255u);
  EXPECT_EQ(strip.Pixel(161, 0), BlendColors(255, 16711680, 161.0 / 162));
  EXPECT_NE(strip.Pixel(161, 0), 16711680u);
}

// A fitted view's pixels are square on the ground, so "Resolution" reads the
// same across and up at 33° N as at 61° N (up to the truncation of each).
TEST(MapInfo, ResolutionOfAFittedViewIsTheSameBothWays) {
  for (const double lat : {33.0, 61.0}) {
    TGPX doc;
    auto* track = new TGPXtrk;
    doc.trk.Add(track);
    auto* segment = new TGPXtrkseg;
    track->Add(segment);
    for (const auto& [dlat, dlon] : {std::pair{0.0, 0.0}, std::pair{0.01, 0.02}}) {
      TGPXwpt* p = segment->NewPoint();
      p->Latitude = lat + dlat;
      p->Longitude = 8 + dlon;
    }
    TCanvas canvas(815, 649);
    TGPXDraw view;
    view.GPXd = &doc;
    view.Canvas = &canvas;
    view.Resize(815, 649);
    view.ResetBBox(true, true);
    const TMapInfo info = ComputeMapInfo(view, 815, 649);
    EXPECT_GT(info.ResolutionX, 100);
    EXPECT_LE(std::abs(info.ResolutionX - info.ResolutionY), 1) << lat << ": " << info.ResolutionText;
  }
}

TEST_F(SessionTest, ExampleLakeFromLoadToStartOver) {
  TSession s(host, host, 3);
  EXPECT_EQ(host.LogLines.front(), "3 CPUs found");
  EXPECT_EQ(s.Settings.InterpolateThrds, 3);
  EXPECT_EQ(s.Buttons(), TButtonStates{});
  EXPECT_EQ(s.Project().MapInfo().MaxDepthText, "");
  EXPECT_EQ(s.Project().MapInfo().SourceLegendText, "click to set color");

  // A shoreline without depth gives nothing to interpolate yet.
  s.AddFiles({kShoreKml});
  EXPECT_TRUE(s.Project().FileLoaded());
  EXPECT_EQ(s.Project().MaxDepth(), 0);
  EXPECT_TRUE(s.Buttons().btnTrkSaveGPX && s.Buttons().btnTrkFit && s.Buttons().btnTrkSaveHT);
  EXPECT_FALSE(s.Buttons().btnInterpolate);
  s.AddFiles({kSurvey});
  EXPECT_TRUE(s.Buttons().btnInterpolate);
  EXPECT_EQ(s.Project().MaxDepth(), 1948);
  EXPECT_EQ(s.Project().GPXdata().trk.Count(), 2 + 1);
  ExpectIdle(s);

  // The information texts against the extent of the data: the fitted view
  // holds all of it, with a small margin on the axis that fits.
  const TMapInfo info = s.Project().MapInfo();
  EXPECT_EQ(info.MaxDepthText, "Max Depth: 1948 cm");
  EXPECT_EQ(info.SourceLegendText, "1948 cm");
  EXPECT_EQ(info.ScreenSizeText, "Screen Size: " + std::to_string(TSession::kDefaultPaneWidth) + " x " +
                                     std::to_string(TSession::kDefaultPaneHeight) + " px");
  double n = -90, so = 90, e = -180, w = 180;
  for (const TGPXtrk* t : s.Project().GPXdata().trk)
    for (const TGPXtrkseg* seg : *t)
      for (const TPoint4D2* p : *seg) {
        n = std::max(n, p->Latitude), so = std::min(so, p->Latitude);
        e = std::max(e, p->Longitude), w = std::min(w, p->Longitude);
      }
  const double dataWidth = Haversine(n, w, n, e), dataHeight = Haversine(n, w, so, w);
  EXPECT_GE(info.AreaWidth, dataWidth);
  EXPECT_GE(info.AreaHeight, dataHeight);
  EXPECT_TRUE(info.AreaWidth < dataWidth * 1.03 || info.AreaHeight < dataHeight * 1.03)
      << info.AreaText << " for data of " << dataWidth << " x " << dataHeight << " m";
  EXPECT_EQ(info.ResolutionX, info.AreaWidth * 100 / TSession::kDefaultPaneWidth);

  // Zoom in shows less, zoom out more, and fitting gives the loaded view back.
  s.TrkZoomIn();
  EXPECT_LT(s.Project().MapInfo().AreaWidth, info.AreaWidth * 0.9);
  s.TrkZoomOut();
  s.TrkZoomOut();
  EXPECT_GT(s.Project().MapInfo().AreaWidth, info.AreaWidth);
  s.TrkFit();
  EXPECT_EQ(s.Project().MapInfo(), info);

  // "Save Tracks..." and loading the file again give the same recording.
  // The shoreline's points have depth 0 in a file that holds readings, so
  // loading takes them for lost bottom, as it does in any recording.
  const std::string saved = Path("lake.gpx");
  host.SaveReplies = {saved};
  EXPECT_TRUE(s.SaveTracks());
  ASSERT_EQ(host.SaveRequests.size(), 1u);
  EXPECT_EQ(host.SaveRequests[0].Kind, SaveKind::SourceTracks);
  EXPECT_EQ(host.SaveRequests[0].Title, "Save open tracks to GPX");
  {
    ScriptedHost otherHost;
    TSession again(otherHost, otherHost, 1);
    again.AddFiles({saved});
    auto readings = TrackPoints(s.Project().GPXdata());
    std::erase_if(readings, [](const auto& p) { return std::get<0>(p) == 0; });
    EXPECT_EQ(TrackPoints(again.Project().GPXdata()), readings);
    EXPECT_EQ(again.Project().MaxDepth(), 1948);
    ScriptedHost surveyHost;
    TSession survey(surveyHost, surveyHost, 1);
    survey.AddFiles({kSurvey});
    EXPECT_EQ(again.Project().MapInfo(), survey.Project().MapInfo()) << "the same readings fit the same view";
  }
  // Refusing to overwrite leaves the file alone.
  const std::string before = ReadFile(saved);
  host.SaveReplies = {saved};
  host.YesNoReplies = {false};
  EXPECT_FALSE(s.SaveTracks());
  EXPECT_EQ(host.Questions.back(), "Overwrite existing " + saved + " ?");
  EXPECT_EQ(ReadFile(saved), before);

  // "Save as HT-File..." writes the bytes sondralis-cli ht writes for the
  // same files.
  host.TextReplies = {std::nullopt};
  host.SaveReplies = {Path("session.ht")};
  const HTExportResult ht = s.SaveAsHTFile();
  EXPECT_EQ(ht.Outcome, HTExportOutcome::Done);
  EXPECT_EQ(host.SaveRequests.back().Kind, SaveKind::HTSourceTracks);
  const std::string cmd = std::string(SONDRALIS_CLI) + " ht '" + kShoreKml + "' '" + kSurvey + "' -o '" +
                          Path("cli.ht") + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string sessionBytes = ReadFile(Path("session.ht"));
  EXPECT_EQ(sessionBytes.size(), 131080u);
  EXPECT_TRUE(sessionBytes == ReadFile(Path("cli.ht")));
  EXPECT_FALSE(s.Buttons().btnCreateHT) << "no contours yet: \"Create HT-File\" stays disabled";

  // Everything "Start over" resets, then "Start over".
  s.Settings.InterpolationWidth = "40";
  s.Settings.IsoStep = "50";
  s.Settings.AddDepth = true;
  s.Settings.ReduceWaypoints = true;
  s.SetShallowColor(0x00FF00);
  ASSERT_TRUE(s.Interpolate());
  ASSERT_TRUE(s.RunIsoMap());
  s.MouseMove(TPane::Tracks, 50, 60, false);
  s.MouseMove(TPane::Interpolated, 50, 60, false);
  const TSessionSettings settings = s.Settings;
  const TButtonStates buttons = s.Buttons();
  const std::string tracksText = s.LabelText(TLabel::NumIsoTracks);
  const std::string interpolText = s.LabelText(TLabel::InterpolCoordinates);
  ASSERT_TRUE(s.SizeFrozen() && s.Project().IsoLoaded() && s.Project().InterpLoaded() && buttons.btnCreateHT);
  ASSERT_FALSE(s.LabelText(TLabel::TrkCoordinates).empty());

  s.StartOver();
  EXPECT_FALSE(s.Project().FileLoaded());
  EXPECT_EQ(s.Project().MaxDepth(), 0);
  EXPECT_EQ(s.Project().GPXdata().trk.Count(), 0);
  EXPECT_EQ(s.Project().IsoData().trk.Count(), 0);
  EXPECT_FALSE(s.Project().InterpLoaded());
  EXPECT_EQ(s.Project().InterpolatedImage().Width(), 0);
  EXPECT_EQ(s.Project().IsoMap().Width(), 0);
  EXPECT_EQ(s.Project().MapInfo(), TMapInfo{}) << "every information text is empty, the legend's too";
  EXPECT_EQ(s.LabelText(TLabel::TrkCoordinates), "");
  EXPECT_FALSE(s.Progress(TProgressBar::Interpolate).Visible);
  EXPECT_FALSE(s.SizeFrozen());
  TButtonStates expected = buttons;
  expected.btnInterpolate = expected.btnInterpolSaveBMP = expected.btnCheckAccuracy = expected.btnIsoMap = false;
  expected.btnIsoSaveChart = false;
  expected.btnIsoSaveBMP = expected.btnIsoSaveGPX = expected.btnCreateHT = expected.btnHtFit = expected.btnHtZoom = false;
  EXPECT_EQ(s.Buttons(), expected) << "the Source Tracks buttons stay";
  // What it keeps.
  EXPECT_EQ(s.Settings, settings);
  EXPECT_TRUE(s.Project().IsoLoaded());
  EXPECT_EQ(s.Project().clShallowWater(), 0x00FF00u);
  EXPECT_EQ(s.LabelText(TLabel::NumIsoTracks), tracksText);
  EXPECT_EQ(s.LabelText(TLabel::InterpolCoordinates), interpolText);
  EXPECT_TRUE(s.InterpolatedLegendVisible() && s.IsoLegendVisible());
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  ExpectIdle(s);
}

TEST_F(SessionTest, LoadingRefusesAndReportsWithoutLeavingTheWindowBusy) {
  TSession s(host, host, 1);
  // No number in the radius: nothing is read at all.
  s.Settings.InterpolationWidth = "";
  s.AddFiles({kSurvey});
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find("extrapolation radius"), std::string::npos) << host.Errors[0];
  EXPECT_FALSE(s.Project().FileLoaded());
  EXPECT_FALSE(host.Logged("LoadGPXFile: Trying to open " + kSurvey));
  ExpectIdle(s);

  // Files that cannot be loaded are named with their reason; the next loads.
  s.Settings.InterpolationWidth = "30";
  host.Errors.clear();
  const std::string broken = Write("broken.gpx", "<gpx><trk><trkseg><trkpt lat=");
  const std::string badDate = Write("date.gpx",
                                    "<gpx><trk><trkseg><trkpt lat=\"47\" lon=\"8\"><time>2021-02-30T10:00:00Z</time>"
                                    "</trkpt></trkseg></trk></gpx>");
  const std::string missing = Path("missing.gpx");
  const std::string text = Write("notes.txt", "x");
  s.AddFiles({broken, badDate, missing, text, kSurvey});
  ASSERT_EQ(host.Errors.size(), 4u);
  EXPECT_NE(host.Errors[0].find(broken), std::string::npos) << host.Errors[0];
  EXPECT_NE(host.Errors[0].find("parsing"), std::string::npos) << "with the reader's reason: " << host.Errors[0];
  EXPECT_NE(host.Errors[1].find(badDate), std::string::npos) << host.Errors[1];
  EXPECT_EQ(host.Errors[2], missing + " does not exist");
  EXPECT_EQ(host.Errors[3], "can't parse " + text);
  EXPECT_TRUE(s.Project().FileLoaded());
  EXPECT_EQ(s.Project().MaxDepth(), 1948);
  ExpectIdle(s);

  // An answer that is no number ends the selection: nothing of that file
  // and nothing after it.
  host.Errors.clear();
  s.Settings.AddDepth = true;
  host.TextReplies = {"deep"};
  const int tracks = s.Project().GPXdata().trk.Count();
  s.AddFiles({kShoreGpx, kShoreKml});
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find(kShoreGpx), std::string::npos) << host.Errors[0];
  EXPECT_NE(host.Errors[0].find("deep"), std::string::npos) << host.Errors[0];
  EXPECT_EQ(host.TextRequests.back(), std::make_pair(std::string("Apply depth to dataset"),
                                                     std::string("lake_shore.gpx Depth [cm]:")));
  EXPECT_EQ(s.Project().GPXdata().trk.Count(), tracks);
  ExpectIdle(s);

  // The offset question names the file, and its answer moves every depth of
  // a recording; a recording is never asked for a depth.
  host.Errors.clear();
  s.Settings.AddOffset = true;
  host.TextReplies = {"-50"};
  const std::string survey = Write("survey.gpx",
                                   "<gpx xmlns:h=\"urn:s\"><trk><trkseg>"
                                   "<trkpt lat=\"47\" lon=\"8\"><extensions><h:depth>100</h:depth></extensions></trkpt>"
                                   "<trkpt lat=\"47.1\" lon=\"8\"><extensions><h:depth>200</h:depth></extensions></trkpt>"
                                   "</trkseg></trk></gpx>");
  const std::size_t asked = host.TextRequests.size();
  s.AddFiles({survey});
  ASSERT_EQ(host.TextRequests.size(), asked + 1);
  EXPECT_EQ(host.TextRequests.back(),
            std::make_pair(std::string("Add value to dataset"), std::string("survey.gpx Add Depth [cm]:")));
  const std::vector<double> depths = TrackDepths(s.Project().GPXdata());
  EXPECT_EQ(std::vector<double>(depths.end() - 2, depths.end()), (std::vector<double>{50, 150}));
  EXPECT_TRUE(host.Errors.empty());
  ExpectIdle(s);
  // Every busy notification was taken back.
  EXPECT_EQ(std::count(host.Changes.begin(), host.Changes.end(), TChange::Busy) % 2, 0);
}

TEST_F(SessionTest, WheelZoomKeepsThePositionUnderTheMouse) {
  TSession s(host, host, 1);
  const TGPXDraw& view = s.Project().GPXView();
  s.ZoomAtPoint(TPane::Tracks, 100, 100, 1);
  EXPECT_EQ(view.BBox.Rm, 0) << "nothing loaded: nothing to zoom";
  s.AddFiles({kShoreKml, kSurvey});
  const TGPXDraw& iso = s.Project().IsoView();
  const double isoScale = iso.BBox.Rm;

  std::mt19937 random(7);
  std::uniform_int_distribution<int> column(0, view.Width() - 1), row(0, view.Height() - 1);
  std::uniform_real_distribution<double> notches(-2.5, 2.5);
  for (int i = 0; i < 200; ++i) {
    const int x = column(random), y = row(random);
    const double n = notches(random);
    const double lon = view.XToLo(x), lat = view.YToLa(y), scale = view.BBox.Rm;
    const int area = s.Project().MapInfo().AreaWidth;
    s.ZoomAtPoint(TPane::Tracks, x, y, n);
    ASSERT_NEAR(view.XToLo(x), lon, 1e-9) << "step " << i;
    ASSERT_NEAR(view.YToLa(y), lat, 1e-9) << "step " << i;
    ASSERT_NEAR(view.BBox.Rm / scale, std::pow(0.85, -n), 1e-9) << "step " << i;
    ASSERT_NEAR(s.Project().MapInfo().AreaWidth, area * std::pow(0.85, n), 2) << "the information follows";
  }
  // The contour map has nothing to zoom before an ISO map run.
  s.ZoomAtPoint(TPane::HTTracks, 10, 10, 1);
  EXPECT_EQ(iso.BBox.Rm, isoScale);
  ExpectIdle(s);
}

TEST_F(SessionTest, MapPanesPanZoomCutAndReadOut) {
  TSession s(host, host, 1);
  s.MouseMove(TPane::Tracks, 10, 10, false);
  EXPECT_EQ(s.LabelText(TLabel::TrkCoordinates), "") << "nothing loaded: no read-out";
  s.AddFiles({kShoreKml, kSurvey});
  const TGPXDraw& view = s.Project().GPXView();
  const TPoint4D2& p = *s.Project().GPXdata().trk[2]->First()->Points(100);

  // A drag in the resting mode pans the content with the mouse.
  const int x0 = view.LoToX(p.Longitude), y0 = view.LaToY(p.Latitude);
  s.Pan(TPane::Tracks, 100, 100, 150, 80);
  EXPECT_NEAR(view.LoToX(p.Longitude), x0 + 50, 1);
  EXPECT_NEAR(view.LaToY(p.Latitude), y0 - 20, 1);
  EXPECT_EQ(s.Cursor(TPane::Tracks), TPaneCursor::Move);

  // The Interpolated Map shares the Source Tracks grid.
  s.MouseMove(TPane::Tracks, 321, 123, false);
  s.MouseMove(TPane::Interpolated, 321, 123, false);
  EXPECT_EQ(s.LabelText(TLabel::InterpolCoordinates), s.LabelText(TLabel::TrkCoordinates));
  EXPECT_NE(s.LabelText(TLabel::TrkCoordinates).find("° N, "), std::string::npos);

  // "Zoom Area" released with Alt zooms and stays armed; without Alt it
  // zooms and returns to panning.
  s.TrkFit();
  const int area = s.Project().MapInfo().AreaWidth;
  s.TrkZoomArea();
  EXPECT_EQ(s.Cursor(TPane::Tracks), TPaneCursor::Cross);
  s.MouseDown(TPane::Tracks, 200, 150);
  host.Changes.clear();
  s.MouseMove(TPane::Tracks, 600, 450, true);
  EXPECT_NE(std::find(host.Changes.begin(), host.Changes.end(), TChange::SourcePicture), host.Changes.end())
      << "the rubber band is drawn";
  s.MouseUp(TPane::Tracks, 600, 450, true);
  EXPECT_EQ(view.MouseMode, mmZoom);
  EXPECT_EQ(s.Cursor(TPane::Tracks), TPaneCursor::Cross);
  EXPECT_NEAR(s.Project().MapInfo().AreaWidth, area / 2.0, area * 0.03);
  s.ZoomToRectangle(TPane::Tracks, 200, 150, 600, 450);
  EXPECT_EQ(view.MouseMode, mmMove);
  EXPECT_EQ(s.Cursor(TPane::Tracks), TPaneCursor::Move);
  EXPECT_NEAR(s.Project().MapInfo().AreaWidth, area / 4.0, area * 0.03);

  // "Remove Wayoints": exactly the points strictly inside the rectangle go.
  s.TrkFit();
  const double west = view.XToLo(300), east = view.XToLo(500), north = view.YToLa(200), south = view.YToLa(400);
  const auto inside = [&](const TPoint4D2* q) {
    return q->Longitude > west && q->Longitude < east && q->Latitude > south && q->Latitude < north;
  };
  int total = 0, removed = 0;
  for (const TGPXtrk* t : s.Project().GPXdata().trk)
    for (const TGPXtrkseg* seg : *t)
      for (const TPoint4D2* q : *seg) total += 1, removed += inside(q);
  ASSERT_GT(removed, 100);
  host.Changes.clear();
  s.CutRectangle(300, 200, 500, 400);
  const auto left = TrackPoints(s.Project().GPXdata());
  EXPECT_EQ(static_cast<int>(left.size()), total - removed);
  for (const auto& [depth, lat, lon] : left)
    ASSERT_FALSE(lon > west && lon < east && lat > south && lat < north) << lat << ", " << lon;
  EXPECT_NE(std::find(host.Changes.begin(), host.Changes.end(), TChange::ShoreLinePicture), host.Changes.end())
      << "the coverage mask is rebuilt";

  // A resize keeps the scale and the south-west corner.
  const TBBox box = view.BBox;
  s.ResizePane(TPane::Tracks, 1000, 700);
  EXPECT_EQ(view.BBox.Rm, box.Rm);
  EXPECT_EQ(view.BBox.O, box.O);
  EXPECT_EQ(view.BBox.S, box.S);
  EXPECT_EQ(s.Project().GPXImage().Width(), 1000);
  EXPECT_EQ(s.Project().MapInfo().ScreenSizeText, "Screen Size: 1000 x 700 px");

  // The HT Contour pane does nothing before there are contours.
  s.MouseMove(TPane::HTTracks, 40, 40, false);
  s.HtZoomArea();
  EXPECT_EQ(s.LabelText(TLabel::HTCoordinates), "");
  EXPECT_FALSE(s.Buttons().btnHtZoomDown);
  EXPECT_EQ(s.Cursor(TPane::HTTracks), TPaneCursor::Default);
  ExpectIdle(s);
}

// A recording written with decimal commas: the window is warned once, the
// debug log has the same line, and the readings that could be read load.
TEST_F(SessionTest, LoadingWarnsOfDepthsThatCouldNotBeRead) {
  TSession s(host, host, 1);
  const std::string path = Write("commas.gpx",
                                 "<gpx xmlns:h=\"urn:s\"><trk><trkseg>\n"
                                 "<trkpt lat=\"47\" lon=\"8\"><extensions><h:depth>120</h:depth></extensions></trkpt>\n"
                                 "<trkpt lat=\"47.1\" lon=\"8\"><extensions><h:depth>12,5</h:depth></extensions></trkpt>\n"
                                 "<trkpt lat=\"47.2\" lon=\"8\"><extensions><h:depth>13,5</h:depth></extensions></trkpt>\n"
                                 "</trkseg></trk></gpx>\n");
  s.AddFiles({path});
  const std::string warning = path + ": 2 depth values could not be read, first at line 3: '12,5'";
  EXPECT_EQ(host.Warnings, std::vector<std::string>{warning});
  EXPECT_TRUE(host.Logged(warning));
  EXPECT_TRUE(host.Errors.empty());
  EXPECT_TRUE(host.Informations.empty());
  EXPECT_EQ(TrackDepths(s.Project().GPXdata()), std::vector<double>{120});
  ExpectIdle(s);
}

}  // namespace
}  // namespace sondralis::testing
