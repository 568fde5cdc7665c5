// The workers and their scheduler: stripes, log lines, progress, the two
// ways of driving a run, and what the workers write.
#include <gtest/gtest.h>

#include <cmath>
#include <atomic>
#include <memory>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "interpolation/ShepardThread.h"
#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

using testing::RecordingFeedback;

struct CountingListener : TInterpolationListener {
  std::vector<int> Running;
  std::atomic<int> Wakes{0};
  void ThreadsRunningChanged(int n) override { Running.push_back(n); }
  void Wake() override { ++Wakes; }
};

// A W × H job over a small cloud, masked by a checkerboard of 3 × 3 blocks.
struct Job {
  TInterpolationJob job;
  // With more than 6 samples the others lie at random in the same area,
  // which makes every column cost more.
  Job(int w, int h, int maxDepth = 500, int samples = 6) {
    TPointList pts;
    TValueList vals;
    for (int i = 0; i < 6; ++i) {
      pts.Add({static_cast<float>(i * 0.37), static_cast<float>((i * i) % 5 * 0.21)});
      vals.Add(static_cast<float>(100 * i));
    }
    std::mt19937 random(5);
    std::uniform_real_distribution<float> lon(0, 4.5f), lat(-2, 1), depth(1, 500);
    for (int i = 6; i < samples; ++i) {
      pts.Add({lon(random), lat(random)});
      vals.Add(depth(random));
    }
    job.ShepardInterp = std::make_shared<TShepardInterp>(pts, vals, 8);
    auto at = std::make_shared<TPixelCoordinates>();
    for (int x = 0; x < w; ++x) at->Longitudes.push_back(x * 0.003);
    for (int y = 0; y < h; ++y) at->Latitudes.push_back(1 - y * 0.05);
    job.Coordinates = at;
    job.Image.SetSize(w, h);
    job.Depths.SetSize(w, h);  // zeros: the workers must write NaN where not covered
    job.ShadowArray.SetSize(w, h);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) job.ShadowArray[x][y] = (x / 3 + y / 3) % 2 == 0;
    job.MaxDepth = maxDepth;
    job.clShallow = 255;
    job.clDeep = 16711680;
  }
  // Every pixel as the workers must have left it; with Partly, a pixel may
  // also be untouched (a run given up half-way).
  void ExpectWritten(bool Partly = false) const {
    const auto& at = *job.Coordinates;
    for (int x = 0; x < job.Image.Width(); ++x)
      for (int y = 0; y < job.Image.Height(); ++y) {
        if (!job.ShadowArray[x][y]) {
          ASSERT_EQ(job.Image[x][y], 0u) << x << "," << y;  // black
          if (Partly && job.Depths[x][y] == 0) continue;
          ASSERT_TRUE(std::isnan(job.Depths[x][y])) << x << "," << y;
          continue;
        }
        if (Partly && job.Depths[x][y] == 0 && job.Image[x][y] == 0) continue;
        const double depth = job.Depths[x][y];
        const double plain = job.ShepardInterp->interp(at.Longitudes[x], at.Latitudes[y]);
        ASSERT_NEAR(depth, plain, 1e-12 * std::fabs(plain)) << x << "," << y;
        const double ratio = job.MaxDepth > 0 ? depth / job.MaxDepth : 0;
        ASSERT_EQ(job.Image[x][y], BlendColors(job.clShallow, job.clDeep, ratio)) << x << "," << y;
      }
  }
};

TEST(InterpolationScheduler, EightHundredColumnsWithFourWorkers) {
  Job j(800, 7);
  RecordingFeedback host;
  CountingListener listener;
  TInterpolationScheduler scheduler(j.job, 800, 4, host, &listener);
  scheduler.Start();
  scheduler.Wait();
  std::vector<std::string> expected = {"Num Tasks: 53"};
  for (int k = 1; k <= 53; ++k) {
    const int first = 15 * (k - 1), last = k == 53 ? 799 : 15 * k - 1;
    expected.push_back((k <= 4 ? "Start Thread: " : "Add Thread: ") + std::to_string(first) + "     " +
                       std::to_string(last));
  }
  EXPECT_EQ(host.LogLines, expected);
  EXPECT_EQ(scheduler.ThreadsTasks, 53);
  EXPECT_EQ(scheduler.ThreadsID, 53);
  EXPECT_EQ(scheduler.ThreadsRunning, 0);
  // One progress step per column: the bar (maximum W − 1) is full.
  ASSERT_EQ(host.Progress.size(), 800u);
  EXPECT_EQ(host.Progress.front(), std::make_pair(1, 799));
  EXPECT_EQ(host.Progress.back(), std::make_pair(799, 799));
  EXPECT_FALSE(scheduler.Canceled());
  EXPECT_EQ(listener.Running, (std::vector<int>{4, 3, 2, 1, 0}));
  j.ExpectWritten();
}

TEST(InterpolationScheduler, NarrowViewsGetOneWorkerPerStripeAndNoStripeBeyondTheLastColumn) {
  Job j(20, 5);
  RecordingFeedback host;
  TInterpolationScheduler scheduler(j.job, 20, 4, host);
  scheduler.Start();
  scheduler.Wait();
  EXPECT_EQ(host.LogLines, (std::vector<std::string>{"Num Tasks: 1", "Start Thread: 0     19"}));
  EXPECT_EQ(scheduler.ThreadsRun, 1);
  j.ExpectWritten();
  for (int w : {1, 2}) {
    Job tiny(w, 3);
    RecordingFeedback log;
    TInterpolationScheduler one(tiny.job, w, 4, log);
    one.Start();
    one.Wait();
    EXPECT_EQ(log.LogLines, (std::vector<std::string>{"Num Tasks: 1", "Start Thread: 0     " + std::to_string(w - 1)}));
    EXPECT_EQ(static_cast<int>(log.Progress.size()), w);
    tiny.ExpectWritten();
  }

  // Every width and stripe width: the stripes tile 0 .. W − 1 in order,
  // without gaps, none wider than twice the stripe width.
  for (const int stripeWidth : {TInterpolationScheduler::kStripeWidth, 1, 4})
    for (int w = 1; w <= 400; ++w) {
      const int tasks = TInterpolationScheduler::TaskCount(w, stripeWidth);
      ASSERT_GE(tasks, 1);
      int next = 0;
      for (int k = 1; k <= tasks; ++k) {
        const auto [first, last] = TInterpolationScheduler::Stripe(k, tasks, w);
        ASSERT_EQ(first, next) << "W=" << w << " k=" << k;
        ASSERT_GE(last, first) << "W=" << w << " k=" << k;
        if (w > stripeWidth) {
          ASSERT_LT(last - first + 1, 2 * stripeWidth + 1) << "W=" << w << " k=" << k;
        }
        next = last + 1;
      }
      ASSERT_EQ(next, w) << "W=" << w;
    }

  // Column-wide stripes: every column is filled, each once.
  Job narrow(37, 3, 10);
  RecordingFeedback log;
  TInterpolationScheduler columns(narrow.job, 37, 2, log, nullptr, 1);
  columns.Start();
  columns.Wait();
  EXPECT_EQ(log.LogLines.front(), "Num Tasks: 36");
  EXPECT_EQ(static_cast<int>(log.Progress.size()), 37);
  narrow.ExpectWritten();
}

TEST(InterpolationScheduler, OneWorkerTakesTheStripesOneAfterAnotherInColumnOrder) {
  Job j(100, 4, 0);  // MaxDepth 0: every covered pixel shallow
  RecordingFeedback host;
  CountingListener listener;
  TInterpolationScheduler scheduler(j.job, 100, 1, host, &listener);
  scheduler.Start();
  scheduler.Wait();
  EXPECT_EQ(host.LogLines, (std::vector<std::string>{"Num Tasks: 6", "Start Thread: 0     15", "Add Thread: 16     31",
                                                     "Add Thread: 32     47", "Add Thread: 48     63",
                                                     "Add Thread: 64     79", "Add Thread: 80     99"}));
  EXPECT_EQ(listener.Running, (std::vector<int>{1, 0}));
  j.ExpectWritten();
  EXPECT_EQ(j.job.Image[0][0], 255u);
}

// Driven from an event loop: Poll never blocks, the workers wake the owner,
// and the result is the same as with Wait.
TEST(InterpolationScheduler, PollingDeliversEverythingOnTheOwnersThread) {
  Job j(301, 9);
  RecordingFeedback host;
  CountingListener listener;
  TInterpolationScheduler scheduler(j.job, 301, 2, host, &listener);
  scheduler.Start();
  while (!scheduler.Poll()) std::this_thread::yield();
  EXPECT_EQ(host.Progress.size(), 301u);
  EXPECT_EQ(listener.Wakes.load(), 301 + 20);  // one per progress step and per finished stripe
  EXPECT_EQ(host.LogLines.size(), 1u + 20u);
  j.ExpectWritten();
}

// The owner may go away mid-run: the workers stop after their column, are
// waited for, and leave only whole, correct pixels behind.
TEST(InterpolationScheduler, AnOwnerGoingAwayMidRunEndsTheWorkersCleanly) {
  Job j(3000, 200);
  RecordingFeedback host;
  {
    TInterpolationScheduler scheduler(j.job, 3000, 2, host);
    scheduler.Start();
  }
  j.ExpectWritten(true);
}

// A cancelled run: the workers end after the column they are in and take no
// further stripe, the run ends early, and every column written is whole.
// Cancelled before the start, not a single column is begun; cancelled at
// the 40th column, where each column costs a millisecond or more, the run
// stops well before its end.
TEST(InterpolationScheduler, CancellingEndsTheWorkersAfterTheirColumn) {
  for (const int cancelAt : {0, 40}) {
    for (const bool polled : {false, true}) {
      Job j(1500, 120, 500, 20000);
      j.job.Depths.Fill(-1);  // every pixel a worker writes changes
      RecordingFeedback host;
      if (cancelAt == 0) host.Cancel();
      host.CancelAtProgress = cancelAt;
      CountingListener listener;
      TInterpolationScheduler scheduler(j.job, 1500, 2, host, &listener);
      scheduler.Start();
      if (polled) {
        while (!scheduler.Poll()) std::this_thread::yield();
      } else {
        scheduler.Wait();
      }
      EXPECT_TRUE(scheduler.Finished());
      EXPECT_TRUE(scheduler.Canceled());
      EXPECT_EQ(listener.Running.back(), 0);
      if (cancelAt == 0) {
        // Cancelled before the first column: nothing is started at all.
        EXPECT_TRUE(host.Progress.empty());
        EXPECT_EQ(host.LogLines,
                  (std::vector<std::string>{"Num Tasks: 99", "Start Thread: 0     14", "Start Thread: 15     29"}));
      } else {
        // The owner's thread may lag behind the workers on a busy machine;
        // the run still stops long before its 1500 columns.
        EXPECT_LT(host.Progress.size(), 300u) << "the run stops soon after the cancel";
        // Num Tasks, two Start Thread lines, and an Add Thread line for every
        // stripe taken: no more than the columns started need.
        EXPECT_LE(host.LogLines.size(), 3u + host.Progress.size() / 15 + 2);
      }
      // Every column is written whole or not at all; a few written pixels
      // against the plain formula.
      int untouched = 0;
      for (int x = 0; x < 1500; ++x) {
        int written = 0;
        for (int y = 0; y < 120; ++y) written += j.job.Depths[x][y] != -1;
        ASSERT_TRUE(written == 0 || written == 120) << "column " << x;
        untouched += written == 0;
        if (written && x % 7 == 0 && j.job.ShadowArray[x][0]) {
          const double plain = j.job.ShepardInterp->interp(j.job.Coordinates->Longitudes[x], 1.0);
          ASSERT_NEAR(j.job.Depths[x][0], plain, 1e-12 * plain) << x;
        }
      }
      EXPECT_EQ(untouched, 1500 - static_cast<int>(host.Progress.size())) << "one progress step per column started";
    }
  }
}

}  // namespace
}  // namespace sondralis
