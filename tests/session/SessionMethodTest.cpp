// The window's method and tolerance and its "Check accuracy", driven
// through the session on the example lake.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "session/SessionFixture.h"

namespace sondralis::testing {
namespace {

// Cancels the session's long command at the n-th time it lets events run.
class CancellingHost : public ScriptedHost {
 public:
  TSession* Session = nullptr;
  int CancelAtPump = -1;
  void ProcessEvents() override {
    if (++EventPumps == CancelAtPump) Session->Cancel();
  }
};

// The window runs Shepard at 0.001 cm unless the method says Surface; the
// style slider then no longer applies. "Check accuracy" comes with the first
// run, shows one line per method, the very lines `sondralis-cli validate`
// prints for the same files and view, and changes nothing of the map.
TEST_F(SessionTest, MethodToleranceAndCheckAccuracy) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 320, 240);
  EXPECT_EQ(s.Settings.InterpolationMethod, TInterpolationMethod::Shepard);
  EXPECT_EQ(s.Settings.InterpolationTolerance, kMapTolerance);
  EXPECT_TRUE(s.StyleApplies());
  s.AddFiles({kSurvey, kShoreKml});
  EXPECT_FALSE(s.Buttons().btnCheckAccuracy) << "only after a run";

  // Before a run has thinned the tracks (the shoreline's too), the figures
  // are those of a fresh load in sondralis-cli.
  ASSERT_TRUE(s.CheckAccuracy());
  const std::string cmd = std::string(SONDRALIS_CLI) + " validate '" + kSurvey + "' '" + kShoreKml + "' --size " +
                          std::to_string(s.Project().GPXView().Width()) + "x" +
                          std::to_string(s.Project().GPXView().Height()) + " > '" + Path("validate.txt") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::istringstream printed(ReadFile(Path("validate.txt")));
  std::string line, lines;
  std::getline(printed, line);  // the hold-out's summary
  while (std::getline(printed, line)) {
    if (!lines.empty()) lines += '\n';
    lines += line;
  }
  EXPECT_EQ(s.AccuracyText(), lines);
  EXPECT_FALSE(s.Project().InterpLoaded()) << "checking makes no map";

  ASSERT_TRUE(s.Interpolate());
  EXPECT_EQ(s.Project().Settings.Interpolation.Tolerance, kMapTolerance);
  EXPECT_EQ(s.Project().Settings.Interpolation.Method, TInterpolationMethod::Shepard);
  const TDepthArray shepard = s.Project().DepthMap().DepthArray;
  EXPECT_TRUE(s.Buttons().btnCheckAccuracy);

  s.Settings.InterpolationMethod = TInterpolationMethod::Surface;
  EXPECT_FALSE(s.StyleApplies());
  s.Settings.InterpolatorStyle = 3;  // ignored by the surface
  ASSERT_TRUE(s.Interpolate());
  EXPECT_EQ(s.Project().Settings.Interpolation.Method, TInterpolationMethod::Surface);
  const TDepthArray surface = s.Project().DepthMap().DepthArray;
  EXPECT_FALSE(surface.SharesWith(shepard));
  int covered = 0, differ = 0;
  for (int x = 0; x < surface.Width(); ++x)
    for (int y = 0; y < surface.Height(); ++y) {
      // The first run thinned the shoreline too, so the masks may differ a little.
      if (std::isnan(surface[x][y]) || std::isnan(shepard[x][y])) continue;
      ++covered;
      differ += std::fabs(surface[x][y] - shepard[x][y]) > 1;
      ASSERT_GE(surface[x][y], 0);
      ASSERT_LE(surface[x][y], 1948);
    }
  EXPECT_GT(differ, covered / 2);
  ASSERT_TRUE(s.RunIsoMap()) << "contours trace the surface's picture";
  EXPECT_GT(s.Project().IsoData().trk.Count(), 10);

  s.Settings.InterpolatorStyle = 8;
  const std::size_t informations = host.Informations.size();
  ASSERT_TRUE(s.CheckAccuracy());
  ExpectIdle(s);
  EXPECT_TRUE(s.Buttons().btnCheckAccuracy);
  ASSERT_EQ(host.Informations.size(), informations + 1);
  EXPECT_EQ(host.Informations.back(), s.AccuracyText());
  EXPECT_TRUE(s.Project().DepthMap().DepthArray.SharesWith(surface)) << "the map stays";
  EXPECT_FALSE(s.Progress(TProgressBar::Interpolate).Visible);
  EXPECT_EQ(s.AccuracyText().rfind("Shepard style 8: ", 0), 0u) << s.AccuracyText();
  EXPECT_NE(s.AccuracyText().find("\nSurface: "), std::string::npos) << s.AccuracyText();

  // A bad radius is refused with a message and nothing is checked.
  s.Settings.InterpolationWidth = "wide";
  EXPECT_FALSE(s.CheckAccuracy());
  EXPECT_EQ(host.Informations.size(), informations + 1);
  EXPECT_FALSE(host.Errors.empty());
}

// Cancelled while it lets the window's events run, the check ends quietly:
// nothing shown, the earlier figures kept, the window usable.
TEST_F(SessionTest, CheckAccuracyCanBeCancelled) {
  CancellingHost cancelling;
  TSession s(cancelling, cancelling, 2);
  cancelling.Session = &s;
  s.ResizePane(TPane::Tracks, 300, 220);
  s.AddFiles({kSurvey, kShoreKml});
  ASSERT_TRUE(s.Interpolate());
  cancelling.CancelAtPump = cancelling.EventPumps + 5;
  EXPECT_FALSE(s.CheckAccuracy());
  ExpectIdle(s);
  EXPECT_TRUE(cancelling.Informations.empty());
  EXPECT_TRUE(cancelling.Errors.empty());
  EXPECT_EQ(s.AccuracyText(), "");
  EXPECT_TRUE(s.Buttons().btnCheckAccuracy);
  EXPECT_TRUE(s.CheckAccuracy()) << "the next check runs to its end";
}

}  // namespace
}  // namespace sondralis::testing
