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

namespace sondralis {

class Host;

// The geographic position of every column and every row of the pixel grid:
// for the map view the pixels' positions XToLo(x) and YToLa(y), as the
// nodes of the view's grid (GridNodes), taken once before the workers
// start, so no worker reads the view.
struct TPixelCoordinates {
  std::vector<double> Longitudes;  // one per column
  std::vector<double> Latitudes;   // one per row
};

// Everything the workers of one run share. The arrays are shared by
// reference; the interpolator and the coordinates stay alive until the last
// worker has finished.
struct TInterpolationJob {
  TColorArray Image;          // target colours; may be empty (depths only)
  TBooleanArray ShadowArray;  // coverage mask; empty: every pixel is covered
  TDepthArray Depths;         // target depths, NaN where not covered; may be empty (colours only)
  std::shared_ptr<const TShepardInterp> ShepardInterp;
  std::shared_ptr<const TPixelCoordinates> Coordinates;
  int MaxDepth = 0;      // centimetres that map to the deep colour
  TColor clShallow = 0;  // depth 0 and shallower, and every depth when MaxDepth ≤ 0
  TColor clDeep = 0;     // MaxDepth and deeper
};

// Where workers send what happened; it delivers on the owner's thread.
class TWorkerMailbox;

// A worker: one thread that processes the column stripe FxStart .. FxStop
// (inclusive) of a run and then tells its owner it is done. It writes only
// its own columns of the target arrays and never waits for anyone: its
// progress steps and its completion are posted to the owner, which delivers
// them on its own thread.
class TShepardThread {
 public:
  TShepardThread(const TInterpolationJob& Job, int xStart, int xStop, TWorkerMailbox& Mailbox);
  TShepardThread(const TShepardThread&) = delete;
  TShepardThread& operator=(const TShepardThread&) = delete;
  // Waits for the thread: the owner destroys a worker only after its
  // completion was delivered, when the thread is about to end anyway.
  virtual ~TShepardThread();

  // Starts the thread. Kept apart from construction so that the thread
  // never sees a half-built object.
  void Start();
  // Waits for the thread to end. The owner calls it only after the worker
  // reported that it is done.
  void Join();

  TColorArray FImage;
  TBooleanArray FShadowArray;
  TDepthArray FDepths;
  std::shared_ptr<const TShepardInterp> FShepardInterp;
  std::shared_ptr<const TPixelCoordinates> FCoordinates;
  int FxStart = 0;
  int FxStop = -1;
  int FMaxDepth = 0;
  TColor FclShallow = 0;
  TColor FclDeep = 0;

 protected:
  // Runs on the worker's thread; calls DoInterpolate and nothing else.
  virtual void Execute();
  virtual void DoInterpolate() = 0;
  // One column started: posts one progress step to the owner.
  void StepProgress();
  // True when the owner was destroyed mid-run and wants the thread to end.
  bool Abandoned() const;

 private:
  TWorkerMailbox& fMailbox;
  std::thread fThread;
};

// The worker the run uses: for every column of the stripe, in ascending
// order, one progress step, then the depth and colour of every covered pixel
// (and NaN as the depth of every other pixel; their colour stays as it is).
class TThdsInterpolate : public TShepardThread {
 public:
  using TShepardThread::TShepardThread;
  ~TThdsInterpolate() override;

 protected:
  void DoInterpolate() override;
};

// What a run tells its owner, always on the owner's thread except Wake.
class TInterpolationListener {
 public:
  virtual ~TInterpolationListener() = default;
  // A worker started a column: the progress bar's step of one.
  virtual void StepProgress() {}
  // The number of workers still running changed.
  virtual void ThreadsRunningChanged(int /*ThreadsRunning*/) {}
  // Called on a worker's thread when something waits to be delivered: the
  // owner should call Poll soon (a window posts itself an event). Must not
  // block and must not call the scheduler.
  virtual void Wake() {}
};

// Hands the column stripes of a run to workers and collects them. Stripes
// of about 15 columns go out strictly in ascending order to at most
// ThreadsRun workers at once; whenever a worker finishes, the next stripe
// goes to a new worker in its place. The log lines "Num Tasks: ",
// "Start Thread: " and "Add Thread: " go to the host.
//
// Two ways to drive a run, both on the owner's thread: Poll from an event
// loop, which delivers what the workers posted and never blocks; or Wait,
// which blocks until the run is complete. Either way the progress steps,
// the completions and the log reach the owner on its own thread.
class TInterpolationScheduler {
 public:
  // Columns per stripe when the view is wide enough.
  static constexpr int kStripeWidth = 15;

  TInterpolationScheduler(TInterpolationJob Job, int Width, int ThreadsRun, Host& host,
                          TInterpolationListener* Listener = nullptr);
  TInterpolationScheduler(const TInterpolationScheduler&) = delete;
  TInterpolationScheduler& operator=(const TInterpolationScheduler&) = delete;
  // A run cannot be cancelled, but its owner may go away: the workers then
  // stop after their current column and are waited for.
  ~TInterpolationScheduler();

  // Logs the stripe count and starts the first workers.
  void Start();
  // Delivers everything the workers posted so far; true once the run is
  // complete. Never blocks.
  bool Poll();
  // Delivers until the run is complete.
  void Wait();
  bool Finished() const noexcept { return fStarted && ThreadsRunning == 0; }

  // Number of stripes for a view Width pixels wide: (Width − 1) div 15, but
  // at least 1, so a narrow view still has one stripe.
  static int TaskCount(int Width);
  // First and last column of stripe k (from 1) of Tasks stripes.
  static std::pair<int, int> Stripe(int k, int Tasks, int Width);

  int ThreadsRun = 0;      // workers at once
  int ThreadsTasks = 0;    // stripes of the run
  int ThreadsID = 0;       // the last stripe handed out, from 1
  int ThreadsRunning = 0;  // workers still running

 private:
  void StartWorker(bool Added);
  void Deliver(std::unique_lock<std::mutex>& lock);

  TInterpolationJob fJob;
  int fWidth = 0;
  Host& fHost;
  TInterpolationListener* fListener = nullptr;
  std::unique_ptr<TWorkerMailbox> fMailbox;
  std::vector<std::unique_ptr<TShepardThread>> fWorkers;
  bool fStarted = false;
};

}  // namespace sondralis
