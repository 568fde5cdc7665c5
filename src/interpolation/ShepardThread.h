// ShepardThread: the interpolation's workers (TShepardThread,
// TThdsInterpolate) and their scheduler, a fixed pool taking column stripes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardInterp.h"
#include "model/ColorInterpolate.h"
#include "model/Feedback.h"

namespace sondralis {

// The geographic position of every column and every row of the pixel grid:
// for the map view the pixels' positions XToLo(x) and YToLa(y), as the
// nodes of the view's grid (GridNodes), taken once before the workers
// start, so no worker reads the view.
struct TPixelCoordinates {
  std::vector<double> Longitudes;  // one per column
  std::vector<double> Latitudes;   // one per row
};

class TLazySurface;  // interpolation/SurfaceInterp.h

// Everything the workers of one run share. The arrays are shared by
// reference; the interpolator and the coordinates stay alive until the last
// worker has finished.
struct TInterpolationJob {
  TColorArray Image;          // target colours; may be empty (depths only)
  TBooleanArray ShadowArray;  // coverage mask; empty: every pixel is covered
  TDepthArray Depths;         // target depths, NaN where not covered; may be empty (colours only)
  // The method: Shepard's interpolator, or, when Surface is set, the surface
  // method (fitted by the first worker that needs it).
  std::shared_ptr<const TShepardInterp> ShepardInterp;
  std::shared_ptr<TLazySurface> Surface;
  std::shared_ptr<const TPixelCoordinates> Coordinates;
  int MaxDepth = 0;      // centimetres that map to the deep colour
  TColor clShallow = 0;  // depth 0 and shallower, and every depth when MaxDepth ≤ 0
  TColor clDeep = 0;     // MaxDepth and deeper
};

// The run's queue of stripes and the workers' way to their owner; shared by
// the workers of one run.
class TWorkerMailbox;

// A worker of the pool: one thread that fills the column stripe FxStart ..
// FxStop (inclusive), then takes the next stripe of the run, in ascending
// order, until none is left, the run is cancelled or its owner goes away. It
// writes only the columns of its stripes and never waits for anyone: its
// progress steps, the stripes it takes and its end are posted to the owner,
// which delivers them on its own thread.
class TShepardThread {
 public:
  // The worker begins with stripe FirstStripe (from 1) of the run.
  TShepardThread(const TInterpolationJob& Job, int FirstStripe, TWorkerMailbox& Mailbox);
  TShepardThread(const TShepardThread&) = delete;
  TShepardThread& operator=(const TShepardThread&) = delete;
  // Waits for the thread.
  virtual ~TShepardThread();

  // Starts the thread. Kept apart from construction so that the thread
  // never sees a half-built object.
  void Start();
  // Waits for the thread to end.
  void Join();

  TColorArray FImage;
  TBooleanArray FShadowArray;
  TDepthArray FDepths;
  std::shared_ptr<const TShepardInterp> FShepardInterp;
  std::shared_ptr<TLazySurface> FSurface;
  std::shared_ptr<const TPixelCoordinates> FCoordinates;
  int FxStart = 0;  // the stripe being filled
  int FxStop = -1;
  int FMaxDepth = 0;
  TColor FclShallow = 0;
  TColor FclDeep = 0;

 protected:
  // Runs on the worker's thread: fills stripe after stripe with
  // DoInterpolate.
  virtual void Execute();
  // Fills the columns FxStart .. FxStop.
  virtual void DoInterpolate() = 0;
  // One column started: posts one progress step to the owner.
  void StepProgress();
  // True when the run was cancelled or its owner went away: the worker
  // ends after the column it is in.
  bool Stopping() const;

 private:
  TWorkerMailbox& fMailbox;
  int fStripe;
  std::thread fThread;
};

// The worker the run uses: for every column of the stripe, in ascending
// order, one progress step, then the depth and colour of every covered pixel
// (and NaN as the depth of every other pixel; their colour stays as it is).
// The colour of a depth is the same whichever method found it. A surface
// that could not be fitted ends the worker before its first column.
class TThdsInterpolate : public TShepardThread {
 public:
  using TShepardThread::TShepardThread;
  ~TThdsInterpolate() override;

 protected:
  void DoInterpolate() override;
};

// What a run tells its owner beside its feedback.
class TInterpolationListener {
 public:
  virtual ~TInterpolationListener() = default;
  // The number of workers still running changed (on the owner's thread).
  virtual void ThreadsRunningChanged(int /*ThreadsRunning*/) {}
  // Called on a worker's thread when something waits to be delivered: the
  // owner should call Poll soon (a window posts itself an event). Must not
  // block and must not call the scheduler.
  virtual void Wake() {}
};

// Splits a run into column stripes of about 15 columns and lets a fixed
// pool of ThreadsRun workers fill them: the workers start with stripes 1 to
// ThreadsRun and each takes the next stripe, strictly in ascending order, as
// soon as it has finished one, so at most ThreadsRun stripes are filled at
// any time and the next stripe goes to whichever worker finishes first. The
// log lines "Num Tasks: ", "Start Thread: " and "Add Thread: " go to the
// feedback, and so does one progress step per column (the progress runs to
// Width - 1).
//
// The feedback is checked before every column: once it is cancelled the
// workers end after the column they are in, take no further stripe, and the
// run ends early (Canceled()).
//
// Two ways to drive a run, both on the owner's thread: Poll from an event
// loop, which delivers what the workers posted and never blocks; or Wait,
// which blocks until the run is complete. Either way the progress, the log
// and the count of running workers reach the owner on its own thread.
class TInterpolationScheduler {
 public:
  // Columns per stripe when the view is wide enough.
  static constexpr int kStripeWidth = 15;

  // StripeWidth other than kStripeWidth splits the run into narrower
  // stripes: `grid`, which nobody watches column by column, takes the
  // columns the kernel evaluates together (kKernelColumns) at a time, so no
  // worker is left alone with a wide last stripe.
  TInterpolationScheduler(TInterpolationJob Job, int Width, int ThreadsRun, TFeedback& Feedback,
                          TInterpolationListener* Listener = nullptr, int StripeWidth = kStripeWidth);
  TInterpolationScheduler(const TInterpolationScheduler&) = delete;
  TInterpolationScheduler& operator=(const TInterpolationScheduler&) = delete;
  // The owner may go away mid-run: the workers then stop after their
  // current column and are waited for.
  ~TInterpolationScheduler();

  // Logs the stripe count and starts the workers.
  void Start();
  // Delivers everything the workers posted so far; true once the run has
  // ended. Never blocks.
  bool Poll();
  // Delivers until the run has ended.
  void Wait();
  // Every worker has ended: all stripes are filled, or the run was cancelled.
  bool Finished() const noexcept { return fStarted && ThreadsRunning == 0; }
  // The run ended because its feedback was cancelled; some columns may not
  // be filled.
  bool Canceled() const noexcept { return Finished() && fFeedback.Canceled(); }

  // Number of stripes for a view Width pixels wide: (Width − 1) div 15 (div
  // StripeWidth), but at least 1, so a narrow view still has one stripe.
  static int TaskCount(int Width, int StripeWidth = kStripeWidth);
  // First and last column of stripe k (from 1) of Tasks stripes.
  static std::pair<int, int> Stripe(int k, int Tasks, int Width);

  int ThreadsRun = 0;      // workers in the pool
  int ThreadsTasks = 0;    // stripes of the run
  int ThreadsID = 0;       // the last stripe handed out, from 1
  int ThreadsRunning = 0;  // workers still running

 private:
  void LogStripe(bool Added);
  void Deliver(std::unique_lock<std::mutex>& lock);

  TInterpolationJob fJob;
  int fWidth = 0;
  int fStripeWidth = kStripeWidth;
  TFeedback& fFeedback;
  TInterpolationListener* fListener = nullptr;
  std::unique_ptr<TWorkerMailbox> fMailbox;
  std::vector<std::unique_ptr<TShepardThread>> fWorkers;
  int fColumnsDone = 0;
  bool fStarted = false;
};

}  // namespace sondralis
