// Project files, the settings reset, what the status bar shows, and the
// commands a run would ignore shown as such: the session as the window's
// menus and status bar drive it.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <random>
#include <regex>

#include "session/MapInfo.h"
#include "session/ProjectFile.h"
#include "session/SessionFixture.h"

namespace sondralis::testing {
namespace {

// ---------------------------------------------------------------- the file

// A random project: paths in, under, beside and far from the project's
// folder (spaces and non-ASCII names among them), rules, settings over
// their whole ranges.
TProjectFile RandomProject(std::mt19937& random, const fs::path& folder) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  const std::vector<fs::path> places = {folder, folder / "trips" / "2024", folder.parent_path() / "other lake",
                                        fs::path("/media/card/Sönar")};
  TProjectFile file;
  const int inputs = pick(0, 5);
  for (int i = 0; i < inputs; ++i) {
    TProjectInput input;
    const fs::path& place = places[static_cast<std::size_t>(pick(0, 3))];
    input.Path = (place / ("trip " + std::to_string(pick(0, 99)) + (pick(0, 1) ? ".gpx" : ".KML"))).string();
    if (pick(0, 1)) input.Rule.Depth = pick(-500, 5000);
    if (pick(0, 1)) input.Rule.Offset = pick(-500, 500);
    file.Inputs.push_back(input);
  }
  TProjectSettings& s = file.Settings;
  s.Interpolation.Radius = pick(0, 999);
  s.Interpolation.Style = pick(2, 14);
  s.Interpolation.Method = pick(0, 1) ? TInterpolationMethod::Surface : TInterpolationMethod::Shepard;
  s.Interpolation.Tolerance = pick(0, 1) ? 0.0 : std::uniform_real_distribution<double>(0, 50)(random);
  s.Interpolation.ShoreDepth.Samples = pick(0, 3) > 0;
  if (s.Interpolation.ShoreDepth.Samples) s.Interpolation.ShoreDepth.DepthCm = static_cast<float>(pick(0, 5000)) / 4;
  s.Interpolation.KeepOutside = pick(0, 1) == 1;
  s.Contours.Step = pick(1, 9999);
  const int tracer = pick(0, 2);
  if (tracer > 0) s.Contours.Tracer = tracer == 1 ? TContourTracer::Pixel : TContourTracer::Chart;
  if (pick(0, 1)) s.Contours.MinRing = pick(0, 9999);
  s.Contours.Smooth = pick(0, 1) ? kSmoothPasses : 0;
  s.Contours.Labels = pick(0, 1) == 1;
  s.Contours.ChartTracks = pick(0, 1) == 1;
  s.Corrections.TransducerCm = pick(0, 1) ? 0.0 : std::uniform_real_distribution<double>(0, 10000)(random);
  s.Corrections.Despike = pick(0, 1) == 1;
  s.Corrections.DepthFromElevation = pick(0, 1) == 1;
  s.Corrections.AutoLevel = pick(0, 1) == 1;
  s.HT.TrackName = pick(0, 1) ? "Lake \"Nord\" \\ Ü" : "NewTrack";
  s.HT.ReduceWaypoints = pick(0, 1) == 1;
  file.Shallow = static_cast<TColor>(pick(0, 0xFFFFFF));
  file.Deep = static_cast<TColor>(pick(0, 0xFFFFFF));
  if (pick(0, 1)) file.PictureSize = std::make_pair(pick(16, 8192), pick(16, 8192));
  return file;
}

TEST(ProjectFile, EverySettingAndPathSurvivesTheTextAndAMove) {
  std::mt19937 random(28);
  const fs::path folder = "/data/lakes/season";
  const std::string project = (folder / "lake.sondralis").string();
  const fs::path moved = "/home/angler/Lake Copy";
  for (int round = 0; round < 300; ++round) {
    const TProjectFile file = RandomProject(random, folder);
    const std::string text = ProjectFileText(file, project);
    ASSERT_EQ(ParseProjectFile(text, project), file) << text;

    // The paths are kept relative to the project, so the whole tree can move.
    const QJsonArray stored = QJsonDocument::fromJson(QByteArray::fromStdString(text))["inputs"].toArray();
    ASSERT_EQ(stored.size(), static_cast<qsizetype>(file.Inputs.size()));
    const TProjectFile there = ParseProjectFile(text, (moved / "lake.sondralis").string());
    for (std::size_t i = 0; i < file.Inputs.size(); ++i) {
      const fs::path relative = fs::path(file.Inputs[i].Path).lexically_relative(folder);
      EXPECT_EQ(stored[static_cast<qsizetype>(i)]["path"].toString().toStdString(), relative.generic_string());
      EXPECT_EQ(there.Inputs[i].Path, (moved / relative).lexically_normal().string());
    }
  }
}

TEST(ProjectFile, RefusesWhatIsNoProjectAndNamesTheValue) {
  const std::string path = "/p/lake.sondralis";
  const std::pair<std::string, std::string> bad[] = {
      {"", "not a project file"},
      {"{\"format\":\"sondralis-project\",", "not a project file"},
      {"[1,2]", "not a project file"},
      {"{\"format\":\"something else\"}", "not a project file"},
      {"{\"format\":\"sondralis-project\",\"interpolation\":{\"style\":20}}", "interpolation.style"},
      {"{\"format\":\"sondralis-project\",\"interpolation\":{\"radius\":\"30\"}}", "interpolation.radius"},
      {"{\"format\":\"sondralis-project\",\"interpolation\":{\"radius\":1.5}}", "interpolation.radius"},
      {"{\"format\":\"sondralis-project\",\"interpolation\":{\"method\":\"kriging\"}}", "interpolation.method"},
      {"{\"format\":\"sondralis-project\",\"interpolation\":{\"tolerance\":-1}}", "interpolation.tolerance"},
      {"{\"format\":\"sondralis-project\",\"contours\":{\"step\":0}}", "contours.step"},
      {"{\"format\":\"sondralis-project\",\"colours\":{\"deep\":\"blue\"}}", "colours.deep"},
      {"{\"format\":\"sondralis-project\",\"inputs\":[{\"depth\":3}]}", "no path"},
      {"{\"format\":\"sondralis-project\",\"inputs\":{}}", "inputs"},
      {"{\"format\":\"sondralis-project\",\"picture\":{\"width\":9000,\"height\":100}}", "picture.width"},
  };
  for (const auto& [text, what] : bad) {
    try {
      ParseProjectFile(text, path);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const EProjectFileError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(what), std::string::npos) << message;
    }
  }
  // A newer program's keys are passed over; what is missing keeps its default.
  const TProjectFile newer = ParseProjectFile(
      "{\"format\":\"sondralis-project\",\"version\":7,\"levels\":{\"datum\":3},\"contours\":{\"step\":25}}", path);
  TProjectFile expected;
  expected.Settings.Contours.Step = 25;
  EXPECT_EQ(newer, expected);
  EXPECT_TRUE(IsProjectFile("a/Lake.SONDRALIS"));
  EXPECT_FALSE(IsProjectFile("a/lake.sondralis.gpx"));
}

// ---------------------------------------------------------------- the session

// Saved from one session, opened in another after the whole folder moved:
// the same tracks with the same rules, the same fields and colours, and no
// question asked; files gone missing are named and the rest load.
TEST_F(SessionTest, ProjectsSaveOpenAndSurviveAMove) {
  const fs::path season = dir / "season";
  fs::create_directories(season / "shore");
  fs::copy_file(kSurvey, season / "lake survey.gpx");
  fs::copy_file(kShoreKml, season / "shore" / "lake_shore.kml");

  TSession first(host, host, 2);
  first.ResizePane(TPane::Tracks, 320, 240);
  // Corrections the files load with: the opened project must load them so
  // too, or its tracks would differ.
  first.Settings.TransducerDepth = "15";
  first.Settings.Despike = true;
  first.Settings.AddOffset = true;
  host.TextReplies = {std::string("-25")};
  first.AddFiles({(season / "lake survey.gpx").string()});
  first.Settings.AddOffset = false;
  first.Settings.AddDepth = true;
  host.TextReplies = {std::string("40")};
  first.AddFiles({(season / "shore" / "lake_shore.kml").string()});
  first.Settings.AddDepth = false;
  first.Settings.InterpolationWidth = "25";
  first.Settings.InterpolatorStyle = 11;
  first.Settings.IsoStep = "50";
  first.Settings.TrackName = "Lake Trip";
  first.Settings.ReduceWaypoints = true;
  first.Settings.InterpolationMethod = TInterpolationMethod::Surface;
  first.Settings.IsoTracer = TContourTracer::Chart;
  first.Settings.IsoMinRing = "12";
  first.Settings.IsoSmooth = true;
  first.Settings.IsoLabels = false;
  first.Settings.ChartTracks = true;
  first.Settings.ShoreDepth = "none";
  first.Settings.KeepOutside = true;
  first.SetShallowColor(0x00FF00);
  first.SetDeepColor(0x202020);
  const auto tracks = TrackPoints(first.Project().GPXdata());

  const std::string saved = (season / "lake.sondralis").string();
  host.SaveReplies = {saved};
  ASSERT_EQ(first.SaveProject(), saved);
  ASSERT_EQ(host.SaveRequests.size(), 1u);
  EXPECT_EQ(host.SaveRequests[0].Kind, SaveKind::Project);
  EXPECT_EQ(host.SaveRequests[0].Filter, TSession::kProjectFilter);
  EXPECT_EQ(first.ProjectPath(), saved);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  // Saving again asks before the file is replaced; No keeps it.
  const std::string before = ReadFile(saved);
  first.Settings.IsoStep = "75";
  host.SaveReplies = {saved};
  host.YesNoReplies = {false};
  EXPECT_EQ(first.SaveProject(), "");
  EXPECT_EQ(ReadFile(saved), before);
  first.Settings.IsoStep = "50";

  const fs::path moved = dir / "moved away";
  fs::rename(season, moved);
  ScriptedHost other;
  TSession second(other, other, 2);
  second.ResizePane(TPane::Tracks, 320, 240);
  second.Settings.AddDepth = second.Settings.AddOffset = true;  // ignored: the project has the rules
  ASSERT_TRUE(second.OpenProject((moved / "lake.sondralis").string()));
  EXPECT_TRUE(other.TextRequests.empty());
  EXPECT_TRUE(other.Errors.empty() && other.Warnings.empty());
  EXPECT_EQ(TrackPoints(second.Project().GPXdata()), tracks);
  ASSERT_EQ(second.Project().Inputs().size(), 2u);
  EXPECT_EQ(second.Project().Inputs()[0].Path, (moved / "lake survey.gpx").string());
  EXPECT_EQ(second.Project().Inputs()[0].Rule.Offset, -25);
  EXPECT_EQ(second.Project().Inputs()[1].Rule.Depth, 40);
  TSessionSettings fields = first.Settings;
  fields.AddDepth = fields.AddOffset = true;
  EXPECT_EQ(second.Settings, fields);
  EXPECT_EQ(second.Project().clShallowWater(), 0x00FF00u);
  EXPECT_EQ(second.Project().clDeepWater(), 0x202020u);
  EXPECT_NE(std::find(other.Changes.begin(), other.Changes.end(), TChange::Settings), other.Changes.end());
  EXPECT_TRUE(second.Buttons().btnInterpolate && second.Buttons().btnTrkSaveGPX);
  ASSERT_TRUE(second.Interpolate());
  EXPECT_EQ(second.Project().Settings.Interpolation.Style, 11);
  EXPECT_EQ(second.Project().Settings.Interpolation.Radius, 25);

  // One file gone: named once, the other loads.
  fs::remove(moved / "shore" / "lake_shore.kml");
  ASSERT_TRUE(second.OpenProject((moved / "lake.sondralis").string()));
  ASSERT_EQ(other.Warnings.size(), 1u);
  EXPECT_NE(other.Warnings[0].find((moved / "shore" / "lake_shore.kml").string()), std::string::npos);
  EXPECT_EQ(second.Project().Inputs().size(), 1u);
  EXPECT_FALSE(second.Project().InterpLoaded()) << "opening starts over";

  // What is no project is refused and leaves everything as it was.
  const std::string broken = Write("broken.sondralis", "{\"format\":\"sondralis-project\",\"contours\":{\"step\":-3}}");
  const auto loaded = TrackPoints(second.Project().GPXdata());
  const TSessionSettings settings = second.Settings;
  EXPECT_FALSE(second.OpenProject(broken));
  ASSERT_EQ(other.Errors.size(), 1u);
  EXPECT_NE(other.Errors[0].find("contours.step"), std::string::npos) << other.Errors[0];
  EXPECT_EQ(TrackPoints(second.Project().GPXdata()), loaded);
  EXPECT_EQ(second.Settings, settings);
  EXPECT_EQ(second.ProjectPath(), (moved / "lake.sondralis").string());
  ExpectIdle(second);
}

// A project keeps files and rules, not the points cut out by hand: saving
// after a cut says so. Fields that a run would refuse are refused here too.
TEST_F(SessionTest, SavingAProjectChecksTheFieldsAndTellsOfCuts) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 320, 240);
  s.AddFiles({kSurvey});
  s.Settings.IsoStep = "0";
  EXPECT_EQ(s.SaveProject(Path("a.sondralis")), "");
  ASSERT_EQ(host.Errors.size(), 1u);
  EXPECT_NE(host.Errors[0].find("step size"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("a.sondralis")));
  s.Settings.IsoStep = "100";
  ASSERT_EQ(s.SaveProject(Path("a.sondralis")), Path("a.sondralis"));
  EXPECT_TRUE(host.Informations.empty());
  s.CutRectangle(100, 100, 200, 160);
  ASSERT_EQ(s.SaveProject(Path("a.sondralis")), Path("a.sondralis"));
  ASSERT_EQ(host.Informations.size(), 1u);
  EXPECT_NE(host.Informations[0].find("Remove Wayoints"), std::string::npos);
}

TEST_F(SessionTest, ResetSettingsRestoresTheStartButKeepsTheWorkers) {
  TSession s(host, host, 2);
  const TSessionSettings start = s.Settings;
  s.Settings.InterpolationWidth = "77";
  s.Settings.InterpolatorStyle = 3;
  s.Settings.InterpolateThrds = 1;
  s.Settings.IsoStep = "25";
  s.Settings.TrackName = "Other";
  s.Settings.ReduceWaypoints = s.Settings.AddDepth = s.Settings.AddOffset = true;
  s.SetShallowColor(0x123456);
  s.SetDeepColor(0x654321);
  s.ResetSettings();
  TSessionSettings expected = start;
  expected.AddDepth = expected.AddOffset = true;  // the check boxes are no settings
  EXPECT_EQ(s.Settings, expected);
  EXPECT_EQ(s.Project().clShallowWater(), clRed);
  EXPECT_EQ(s.Project().clDeepWater(), clBlue);
  EXPECT_EQ(s.Project().Settings.Interpolation.Threads, 2);
  EXPECT_EQ(s.Project().Settings.Contours.Step, 100);
}

// ---------------------------------------------------------------- runs and the status bar

// While "ISO Map" runs, every command it would ignore is disabled and is
// ignored; Cancel there leaves the previous contours.
TEST_F(SessionTest, IsoMapRunDisablesWhatItWouldIgnoreAndCancels) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 320, 240);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.Interpolate());
  const TButtonStates idle = s.Buttons();
  EXPECT_TRUE(idle.btnAddFiles && idle.btnStartOver && idle.imgShallowColor && idle.btnIsoMap);
  EXPECT_FALSE(s.Cancellable());

  int pumps = 0;
  host.OnProcessEvents = [&] {
    if (++pumps != 2) return;
    const TButtonStates b = s.Buttons();
    EXPECT_FALSE(b.btnAddFiles || b.btnStartOver || b.imgShallowColor || b.imgDeepColor);
    EXPECT_FALSE(b.btnTrkSaveGPX || b.btnTrkSaveHT || b.btnInterpolate || b.btnInterpolSaveBMP || b.btnIsoMap);
    EXPECT_FALSE(b.btnIsoSaveBMP || b.btnIsoSaveGPX || b.btnCreateHT);
    EXPECT_TRUE(b.btnTrkFit && b.btnTrkZoomIn) << "looking around stays possible";
    EXPECT_TRUE(s.Cancellable());
    EXPECT_EQ(s.RunningText(), "Tracing contours");
    EXPECT_TRUE(s.RunningProgress().Visible);
    // What a click would do now: nothing.
    const std::size_t inputs = s.Project().Inputs().size();
    s.AddFiles({kShoreGpx});
    s.StartOver();
    s.ChooseShallowColor();
    EXPECT_FALSE(s.SaveTracks());
    EXPECT_FALSE(s.StartInterpolation());
    EXPECT_EQ(s.Project().Inputs().size(), inputs);
    EXPECT_TRUE(s.Project().FileLoaded());
  };
  ASSERT_TRUE(s.RunIsoMap());
  EXPECT_GE(pumps, 2);
  EXPECT_EQ(s.Buttons().btnCreateHT, true);
  EXPECT_EQ(host.ColorRequests, 0);
  EXPECT_TRUE(host.SaveRequests.empty());
  EXPECT_FALSE(s.Cancellable());
  EXPECT_EQ(s.RunningText(), "");
  const TButtonStates after = s.Buttons();
  EXPECT_TRUE(after.btnAddFiles && after.btnStartOver && after.imgDeepColor && after.btnIsoSaveGPX);
  EXPECT_NE(std::find(host.Changes.begin(), host.Changes.end(), TChange::Running), host.Changes.end());

  // Cancel at the third level of a run with a finer step.
  const auto contours = TrackPoints(s.Project().IsoData());
  pumps = 0;
  host.OnProcessEvents = [&] {
    if (++pumps == 3) s.Cancel();
  };
  s.Settings.IsoStep = "20";
  EXPECT_FALSE(s.RunIsoMap());
  EXPECT_EQ(TrackPoints(s.Project().IsoData()), contours);
  EXPECT_EQ(s.Buttons(), after);
  EXPECT_TRUE(host.Errors.empty());
  ExpectIdle(s);
}

// The position in degrees and minutes, the depth under it on the depth map
// from any pane, and the method and time of the last run.
TEST_F(SessionTest, StatusBarReadsPositionDepthAndTheLastRun) {
  EXPECT_EQ(DegreesMinutesText(0, 0), "0° 00.000' N, 0° 00.000' E");
  EXPECT_EQ(DegreesMinutesText(-33.5, 151.25), "33° 30.000' S, 151° 15.000' E");
  EXPECT_EQ(DegreesMinutesText(47.99999999, -8.0000001), "48° 00.000' N, 8° 00.000' W");
  EXPECT_EQ(DegreesMinutesText(-0.0000001, 179.9999999), "0° 00.000' N, 180° 00.000' E");

  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 320, 240);
  EXPECT_EQ(s.PositionText(TPane::Tracks, 10, 10), "") << "nothing loaded";
  s.AddFiles({kSurvey, kShoreKml});
  EXPECT_EQ(s.LastRunText(), "");
  EXPECT_EQ(s.DepthTextAt(TPane::Tracks, 160, 120), "") << "no run yet";

  // Read back, every text is within half a thousandth of a minute.
  const std::regex dm("(\\d+)° (\\d\\d)\\.(\\d{3})' ([NS]), (\\d+)° (\\d\\d)\\.(\\d{3})' ([EW])");
  std::mt19937 random(5);
  const TGPXDraw& view = s.Project().GPXView();
  for (int i = 0; i < 200; ++i) {
    const int x = std::uniform_int_distribution<int>(0, 319)(random), y = std::uniform_int_distribution<int>(0, 239)(random);
    std::smatch m;
    const std::string text = s.PositionText(TPane::Tracks, x, y);
    ASSERT_TRUE(std::regex_match(text, m, dm)) << text;
    auto degrees = [&](int at) {
      const double value = std::stoi(m[at]) + (std::stoi(m[at + 1]) + std::stoi(m[at + 2]) / 1000.0) / 60;
      return m[at + 3] == "S" || m[at + 3] == "W" ? -value : value;
    };
    EXPECT_NEAR(degrees(1), view.YToLa(y), 0.5 / 60000 + 1e-12) << text;
    EXPECT_NEAR(degrees(5), view.XToLo(x), 0.5 / 60000 + 1e-12) << text;
  }

  ASSERT_TRUE(s.Interpolate());
  EXPECT_TRUE(std::regex_match(s.LastRunText(), std::regex("Shepard, tolerance 0.001 cm: \\d+\\.\\d\\d s"))) << s.LastRunText();
  EXPECT_NE(std::find(host.Changes.begin(), host.Changes.end(), TChange::LastRun), host.Changes.end());
  // On the Source Tracks map the depth is the depth map's at the same place,
  // also after the map was zoomed and panned away from the run's grid.
  int wet = 0;
  for (int step = 0; step < 2; ++step) {
    for (int y = 0; y < 240; y += 7)
      for (int x = 0; x < 320; x += 7) {
        const TGPXDraw& run = s.Project().DepthPictureGrid();
        const double lon = view.XToLo(x), lat = view.YToLa(y);
        const double gx = (lon - run.BBox.O) * run.BBox.Rm * run.Aspect(), gy = run.Height() - (lat - run.BBox.S) * run.BBox.Rm;
        const std::string depth = s.DepthTextAt(TPane::Tracks, x, y);
        if (gx < -1 || gy < -1 || gx > run.Width() || gy > run.Height()) {
          EXPECT_EQ(depth, "") << "off the depth map";
          continue;
        }
        // Within a pixel of its edge the rounding decides.
        if (gx < 1 || gy < 1 || gx > run.Width() - 2 || gy > run.Height() - 2) continue;
        EXPECT_EQ(depth, s.DepthText(run.LoToX(lon), run.LaToY(lat))) << x << ", " << y;
        if (!depth.empty()) ++wet;
      }
    s.TrkZoomIn();
    s.Pan(TPane::Tracks, 100, 100, 150, 80);
  }
  EXPECT_GT(wet, 200);
  EXPECT_EQ(s.DepthTextAt(TPane::Interpolated, 160, 120), s.DepthText(160, 120));
}

}  // namespace
}  // namespace sondralis::testing
