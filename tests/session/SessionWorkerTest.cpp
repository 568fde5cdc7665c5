// "Check accuracy" and "Export..." as the window runs them: the work on a
// worker thread, the window held still until the session's thread ends the
// run in Poll, Cancel reaching the worker, and the same results as the
// blocking commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "session/SessionFixture.h"
#include "session/WorkerRun.h"
#include "support/Files.h"

namespace sondralis::testing {
namespace {

using ::sondralis::testing::Names;

// Polls as the window does when woken, until the run is over; the progress
// the status bar showed at each poll.
std::vector<TProgress> PollToEnd(TSession& s) {
  std::vector<TProgress> shown;
  for (int i = 0; i < 60000; ++i) {
    shown.push_back(s.RunningProgress());
    if (s.Poll()) return shown;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ADD_FAILURE() << "the run did not end";
  return shown;
}

// Until the session's thread polls, the run goes on as far as the window is
// concerned, however far the worker is: everything that would change what
// it reads is refused or ignored.
void ExpectHeldStill(TSession& s, const char* Running) {
  EXPECT_TRUE(s.CommandRunning());
  EXPECT_FALSE(s.WindowEnabled());
  EXPECT_TRUE(s.Busy());
  EXPECT_TRUE(s.Cancellable());
  EXPECT_EQ(s.RunningText(), Running);
  const TButtonStates b = s.Buttons();
  EXPECT_FALSE(b.btnAddFiles || b.btnStartOver || b.btnInterpolate || b.btnCheckAccuracy || b.btnIsoMap ||
               b.imgShallowColor || b.btnTrkSaveGPX);
  const std::size_t inputs = s.Project().Inputs().size();
  const int width = s.Project().GPXView().Width();
  const TColor shallow = s.Project().clShallowWater();
  s.AddFiles({kSurvey});
  s.StartOver();
  s.ResizePane(TPane::Tracks, width + 40, 300);
  s.SetShallowColor(clBlack);
  EXPECT_FALSE(s.StartInterpolation());
  EXPECT_FALSE(s.StartCheckAccuracy());
  EXPECT_EQ(s.Project().Inputs().size(), inputs);
  EXPECT_EQ(s.Project().GPXView().Width(), width);
  EXPECT_EQ(s.Project().clShallowWater(), shallow);
}

TEST_F(SessionTest, CheckAccuracyRunsOnAWorkerAndEndsInPoll) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 300, 220);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.Interpolate());
  const TDepthArray map = s.Project().DepthMap().DepthArray;
  const std::size_t lines = host.LogLines.size();

  ASSERT_TRUE(s.StartCheckAccuracy());
  ExpectHeldStill(s, "Checking accuracy");
  EXPECT_TRUE(s.Progress(TProgressBar::Interpolate).Visible);
  EXPECT_TRUE(host.Informations.empty()) << "the figures come when the run ends";
  PollToEnd(s);
  ExpectIdle(s);
  EXPECT_FALSE(s.Cancellable());
  EXPECT_FALSE(s.Progress(TProgressBar::Interpolate).Visible);
  EXPECT_GT(host.WakeUps.load(), 0);
  ASSERT_EQ(host.Informations.size(), 1u);
  const std::string figures = s.AccuracyText();
  EXPECT_EQ(host.Informations[0], figures);
  EXPECT_TRUE(s.Project().DepthMap().DepthArray.SharesWith(map)) << "checking leaves the map";

  // The worker's lines reached the log on this thread, in their order: the
  // hold-out first, then one line per method, the lines of the figures.
  const std::vector<std::string> logged(host.LogLines.begin() + static_cast<std::ptrdiff_t>(lines), host.LogLines.end());
  const auto holdOut = std::find_if(logged.begin(), logged.end(), [](const std::string& l) { return l.starts_with("Hold-out: "); });
  ASSERT_NE(holdOut, logged.end());
  const std::size_t newline = figures.find('\n');
  const auto shepard = std::find(holdOut, logged.end(), figures.substr(0, newline));
  ASSERT_NE(shepard, logged.end()) << figures;
  EXPECT_NE(std::find(shepard, logged.end(), figures.substr(newline + 1)), logged.end()) << figures;

  // The blocking command of the same map gives the same figures.
  ASSERT_TRUE(s.CheckAccuracy());
  EXPECT_EQ(s.AccuracyText(), figures);

  // Cancelled before its end: no figures, nothing shown, the window usable;
  // the next one runs.
  ASSERT_TRUE(s.StartCheckAccuracy());
  s.Cancel();
  PollToEnd(s);
  ExpectIdle(s);
  EXPECT_EQ(host.Informations.size(), 2u);
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
  EXPECT_TRUE(s.Buttons().btnCheckAccuracy);

  // A session closed while its worker runs stops it and waits for it.
  {
    TSession closing(host, host, 2);
    closing.ResizePane(TPane::Tracks, 300, 220);
    closing.AddFiles({kSurvey, kShoreKml});
    ASSERT_TRUE(closing.StartCheckAccuracy());
  }
  EXPECT_EQ(host.Informations.size(), 2u);
}

TEST_F(SessionTest, ExportRunsOnAWorkerAllOrNothing) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 240, 180);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.Interpolate());
  TExportChoice choice;
  choice.GeoTIFF = choice.PDF = choice.Report = true;

  // Cancelled at once: the worker stops at the next file and nothing is
  // published.
  host.FolderReplies = {Path("cancelled"), Path("out"), Path("blocking")};
  ASSERT_TRUE(s.StartExportMap(choice));
  ExpectHeldStill(s, "Exporting");
  s.Cancel();
  PollToEnd(s);
  ExpectIdle(s);
  EXPECT_EQ(s.ExportedFolder(), "");
  EXPECT_TRUE(!fs::exists(Path("cancelled")) || Names(Path("cancelled")).empty());
  EXPECT_NE(std::find(host.LogLines.begin(), host.LogLines.end(), "Export cancelled: nothing was written"),
            host.LogLines.end());
  EXPECT_TRUE(host.Informations.empty());

  // Run to its end: the status bar counts the files (each an equal share)
  // without going back, and the files are those of the blocking command.
  ASSERT_TRUE(s.StartExportMap(choice));
  const std::vector<TProgress> shown = PollToEnd(s);
  ExpectIdle(s);
  EXPECT_EQ(s.ExportedFolder(), Path("out"));
  EXPECT_FALSE(s.RunningProgress().Visible);
  int last = 0;
  for (const TProgress& p : shown) {
    EXPECT_TRUE(p.Max == 0 || p.Max == 400) << p.Max;
    EXPECT_GE(p.Position, last);
    last = p.Position;
  }
  ASSERT_EQ(host.Informations.size(), 1u);
  EXPECT_EQ(host.Informations[0].rfind("Exported into " + Path("out"), 0), 0u) << host.Informations[0];
  EXPECT_EQ(s.ExportMap(choice), Path("blocking"));
  const std::vector<std::string> names = Names(Path("out"));
  EXPECT_EQ(names, (std::vector<std::string>{"chart.pdf", "depth.tif", "report.csv", "report.json"}));
  EXPECT_EQ(Names(Path("blocking")), names);
  for (const char* name : {"report.csv", "report.json"})
    EXPECT_EQ(ReadFile(dir / "out" / name), ReadFile(dir / "blocking" / name)) << name;
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

// The worker's own pieces: reports queued in order and taken on the owner's
// thread, what the work threw rethrown, Cancel reaching a work that waits
// for it, and a run destroyed early stopping its work.
TEST(WorkerRunTest, QueuesReportsRethrowsAndCancels) {
  std::atomic<int> wakes = 0;
  TWorkerRun failing(
      [](TFeedback& f) {
        for (int i = 0; i < 3; ++i) {
          f.Log("line " + std::to_string(i));
          f.SetProgress(i, 3);
        }
        throw std::runtime_error("disk full");
      },
      [&] { ++wakes; });
  while (!failing.Ended()) failing.WaitFor(std::chrono::milliseconds(5));
  const TWorkerRun::TReports reports = failing.Take();
  EXPECT_EQ(reports.Lines, (std::vector<std::string>{"line 0", "line 1", "line 2"}));
  ASSERT_TRUE(reports.Progress);
  EXPECT_EQ(*reports.Progress, (std::pair<int, int>{2, 3}));
  EXPECT_GE(wakes.load(), 4) << "each report and the end wake the owner";
  EXPECT_TRUE(failing.Take().Lines.empty());
  EXPECT_THROW(failing.Finish(), std::runtime_error);

  std::atomic<bool> stopped = false;
  TWorkerRun waiting(
      [&](TFeedback& f) {
        while (!f.Canceled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stopped = true;
        throw TCanceled{};
      },
      {});
  EXPECT_FALSE(waiting.Ended());
  waiting.Cancel();
  while (!waiting.Ended()) waiting.WaitFor(std::chrono::milliseconds(5));
  EXPECT_TRUE(stopped);
  EXPECT_THROW(waiting.Finish(), TCanceled);

  stopped = false;
  {
    TWorkerRun abandoned(
        [&](TFeedback& f) {
          while (!f.Canceled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          stopped = true;
        },
        {});
  }
  EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace sondralis::testing

namespace sondralis::testing {
namespace {

// "Add Files..." and Open Project... read their files on a worker while the
// window's events run: the status bar shows it with Cancel, other commands
// wait, and a Cancel loads nothing, leaving what was loaded before as it
// was.
TEST_F(SessionTest, ReadingFilesCanBeCancelledAndLoadsNothing) {
  TSession s(host, host, 2);
  s.AddFiles({kShoreKml});
  ASSERT_EQ(s.Project().Inputs().size(), 1u);
  const int tracks = s.Project().GPXdata().trk.Count();
  bool looked = false;
  host.OnProcessEvents = [&] {
    if (looked) return;
    looked = true;
    EXPECT_EQ(s.RunningText(), "Reading files");
    EXPECT_TRUE(s.Cancellable());
    EXPECT_FALSE(s.Buttons().btnAddFiles || s.Buttons().btnStartOver);
    s.AddFiles({kShoreKml});  // ignored while the selection is read
    s.StartOver();
    s.Cancel();
  };
  s.AddFiles({kSurvey, kShoreKml});
  host.OnProcessEvents = {};
  EXPECT_TRUE(looked);
  ExpectIdle(s);
  EXPECT_FALSE(s.Cancellable());
  EXPECT_EQ(s.Project().Inputs().size(), 1u);
  EXPECT_EQ(s.Project().GPXdata().trk.Count(), tracks);
  EXPECT_TRUE(host.Logged("Loading cancelled: nothing of the selection was loaded"));
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();

  // The same selection then loads, in its order.
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_EQ(s.Project().Inputs().size(), 3u);
  EXPECT_EQ(s.Project().Inputs()[1].Path, kSurvey);
  EXPECT_TRUE(s.Buttons().btnInterpolate);

  // Opening a project reads its files first: cancelled then, the window
  // keeps what it had, its fields too.
  const std::string project = s.SaveProject(Path("lake.sondralis"));
  ASSERT_FALSE(project.empty());
  TSession t(host, host, 2);
  t.AddFiles({kShoreKml});
  t.Settings.IsoStep = "25";
  looked = false;
  host.OnProcessEvents = [&] {
    if (looked) return;
    looked = true;
    EXPECT_EQ(t.RunningText(), "Reading files");
    t.Cancel();
  };
  EXPECT_FALSE(t.OpenProject(project));
  host.OnProcessEvents = {};
  EXPECT_TRUE(looked);
  ExpectIdle(t);
  EXPECT_EQ(t.Project().Inputs().size(), 1u);
  EXPECT_EQ(t.ProjectPath(), "");
  EXPECT_EQ(t.Settings.IsoStep, "25");
  EXPECT_TRUE(host.Logged("Opening the project was cancelled: nothing changed"));
  ASSERT_TRUE(t.OpenProject(project));
  EXPECT_EQ(t.Project().Inputs().size(), 3u);
  EXPECT_EQ(t.Settings.IsoStep, "100");
  EXPECT_TRUE(host.Errors.empty()) << host.Errors.front();
}

}  // namespace
}  // namespace sondralis::testing
