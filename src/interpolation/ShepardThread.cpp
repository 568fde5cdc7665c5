// ShepardThread: the workers and their scheduler.

#include "interpolation/ShepardThread.h"

#include <algorithm>
#include <array>
#include <string>

#include "interpolation/SurfaceInterp.h"

namespace sondralis {

// The run's queue of stripes and the workers' way to their owner: a queue
// of events under one lock. Workers take stripes and post events and never
// wait for the owner to take them; the owner takes them on its own thread in
// Poll or Wait. A stripe is taken and its event posted under the same lock,
// so the owner hears of the stripes in the order they were handed out.
class TWorkerMailbox {
 public:
  enum class TKind {
    Step,   // a worker started a column
    Taken,  // a worker took stripe Stripe after finishing one
    Ended,  // a worker's thread is ending
  };
  struct Event {
    TKind Kind = TKind::Step;
    int Stripe = 0;
  };

  TWorkerMailbox(TFeedback& feedback, TInterpolationListener* listener, int tasks, int width, int next)
      : Feedback(feedback), Tasks(tasks), Width(width), fNext(next), fListener(listener) {}

  void Post(Event event) {
    {
      std::lock_guard lock(Mutex);
      Events.push_back(event);
    }
    Announce();
  }

  // The next stripe, from 1, or 0 when none is left.
  int Take() {
    int stripe = 0;
    {
      std::lock_guard lock(Mutex);
      if (fNext > Tasks) return 0;
      stripe = fNext++;
      Events.push_back({TKind::Taken, stripe});
    }
    Announce();
    return stripe;
  }

  std::mutex Mutex;
  std::condition_variable Posted;
  std::deque<Event> Events;
  std::atomic<bool> Abandon{false};
  TFeedback& Feedback;
  const int Tasks;
  const int Width;

 private:
  void Announce() {
    Posted.notify_one();
    if (fListener) fListener->Wake();
  }

  int fNext;  // the next stripe to hand out, from 1
  TInterpolationListener* fListener;
};

// ---------------------------------------------------------------- workers

TShepardThread::TShepardThread(const TInterpolationJob& Job, int FirstStripe, TWorkerMailbox& Mailbox)
    : FImage(Job.Image),
      FShadowArray(Job.ShadowArray),
      FDepths(Job.Depths),
      FShepardInterp(Job.ShepardInterp),
      FSurface(Job.Surface),
      FCoordinates(Job.Coordinates),
      FMaxDepth(Job.MaxDepth),
      FclShallow(Job.clShallow),
      FclDeep(Job.clDeep),
      fMailbox(Mailbox),
      fStripe(FirstStripe) {}

TShepardThread::~TShepardThread() { Join(); }

void TShepardThread::Start() {
  fThread = std::thread([this] {
    // An error ends the worker early; the owner still hears that it ended,
    // so the run comes to its end.
    try {
      Execute();
    } catch (...) {
    }
    fMailbox.Post({TWorkerMailbox::TKind::Ended});
  });
}

void TShepardThread::Join() {
  if (fThread.joinable()) fThread.join();
}

void TShepardThread::Execute() {
  for (int stripe = fStripe; stripe > 0 && !Stopping(); stripe = fMailbox.Take()) {
    const auto [first, last] = TInterpolationScheduler::Stripe(stripe, fMailbox.Tasks, fMailbox.Width);
    FxStart = first;
    FxStop = last;
    DoInterpolate();
  }
}

void TShepardThread::StepProgress() { fMailbox.Post({TWorkerMailbox::TKind::Step}); }

bool TShepardThread::Stopping() const {
  return fMailbox.Abandon.load(std::memory_order_relaxed) || fMailbox.Feedback.Canceled();
}

TThdsInterpolate::~TThdsInterpolate() {
  // The thread runs DoInterpolate of this class: it must end before this
  // part of the object goes.
  Join();
}

void TThdsInterpolate::DoInterpolate() {
  if (FxStop < FxStart) return;
  const TSurface* surface = nullptr;
  if (FSurface) {
    surface = FSurface->Get();
    if (!surface) throw TCanceled();  // the fit failed or was cancelled: the owner learns why from it
  }
  const TPixelCoordinates& at = *FCoordinates;
  const int h = static_cast<int>(at.Latitudes.size());
  const bool masked = !FShadowArray.Empty();
  const bool colours = !FImage.Empty();
  const bool depths = !FDepths.Empty();
  std::vector<double> column(static_cast<std::size_t>(h));
  // A depth found to the interpolator's tolerance whose colour could differ
  // within that tolerance is taken exactly: the picture, and the contours
  // traced on it, are those of the exact depths.
  auto colourUnsure = [&](double low, double high) {
    auto colour = [&](double depth) { return BlendColors(FclShallow, FclDeep, FMaxDepth > 0 ? depth / FMaxDepth : 0.0); };
    return colour(low) != colour(high);
  };
  const TShepardInterp::TExactWhere exactWhere =
      colours ? TShepardInterp::TExactWhere(colourUnsure) : TShepardInterp::TExactWhere();
  // Without a mask, columns are interpolated kKernelColumns at a time, which
  // shares work between them; the values are those of one at a time.
  std::vector<double> group;
  std::array<std::span<double>, kKernelColumns> groupColumns;
  int groupFirst = FxStart, groupEnd = FxStart;  // [groupFirst, groupEnd) are in `group`
  for (int x = FxStart; x <= FxStop; ++x) {
    if (Stopping()) return;
    StepProgress();
    const double lon = at.Longitudes[static_cast<std::size_t>(x)];
    const std::span<const bool> wanted = masked ? std::span<const bool>(FShadowArray[x]) : std::span<const bool>();
    if (surface) {
      surface->Column(lon, at.Latitudes, wanted, column);
    } else if (x < groupEnd) {
      std::copy(groupColumns[x - groupFirst].begin(), groupColumns[x - groupFirst].end(), column.begin());
    } else if (!masked && FxStop - x + 1 >= kKernelColumns) {
      group.resize(static_cast<std::size_t>(h) * kKernelColumns);
      std::array<double, kKernelColumns> lons;
      for (int c = 0; c < kKernelColumns; ++c) {
        lons[c] = at.Longitudes[static_cast<std::size_t>(x + c)];
        groupColumns[c] = std::span<double>(group).subspan(static_cast<std::size_t>(c * h), static_cast<std::size_t>(h));
      }
      FShepardInterp->Columns(lons, at.Latitudes, FShepardInterp->Tolerance(), groupColumns, nullptr, exactWhere);
      groupFirst = x;
      groupEnd = x + kKernelColumns;
      std::copy(groupColumns[0].begin(), groupColumns[0].end(), column.begin());
    } else {
      FShepardInterp->Column(lon, at.Latitudes, wanted, FShepardInterp->Tolerance(), column, nullptr, exactWhere);
    }
    for (int y = 0; y < h; ++y) {
      if (masked && !FShadowArray[x][y]) {
        if (depths) FDepths[x][y] = kNoDepth;
        continue;
      }
      const double depth = column[static_cast<std::size_t>(y)];
      if (depths) FDepths[x][y] = depth;
      // Without a positive maximum depth there is no ramp: every covered
      // pixel takes the shallow colour.
      if (colours) FImage[x][y] = BlendColors(FclShallow, FclDeep, FMaxDepth > 0 ? depth / FMaxDepth : 0.0);
    }
  }
}

// ---------------------------------------------------------------- scheduler

TInterpolationScheduler::TInterpolationScheduler(TInterpolationJob Job, int Width, int ThreadsRun_,
                                                 TFeedback& Feedback, TInterpolationListener* Listener,
                                                 int StripeWidth)
    : ThreadsRun(std::max(ThreadsRun_, 1)),
      fJob(std::move(Job)),
      fWidth(std::max(Width, 0)),
      fStripeWidth(std::max(StripeWidth, 1)),
      fFeedback(Feedback),
      fListener(Listener) {}

TInterpolationScheduler::~TInterpolationScheduler() {
  if (fMailbox) fMailbox->Abandon = true;
  for (auto& worker : fWorkers) worker.reset();
}

int TInterpolationScheduler::TaskCount(int Width, int StripeWidth) {
  return std::max(1, (Width - 1) / std::max(StripeWidth, 1));
}

std::pair<int, int> TInterpolationScheduler::Stripe(int k, int Tasks, int Width) {
  const int s = (Width - 1) / Tasks;
  return {s * (k - 1), k == Tasks ? Width - 1 : s * k - 1};
}

void TInterpolationScheduler::Start() {
  if (fStarted) return;
  fStarted = true;
  ThreadsTasks = TaskCount(fWidth, fStripeWidth);
  fFeedback.Log("Num Tasks: " + std::to_string(ThreadsTasks));
  // A narrow view has fewer stripes than workers asked for: one worker per
  // stripe, never a stripe beyond the last column.
  ThreadsRun = std::min(ThreadsRun, ThreadsTasks);
  ThreadsRunning = ThreadsRun;
  fMailbox = std::make_unique<TWorkerMailbox>(fFeedback, fListener, ThreadsTasks, fWidth, ThreadsRun + 1);
  for (int k = 1; k <= ThreadsRun; ++k) {
    ThreadsID = k;
    LogStripe(false);
    fWorkers.push_back(std::make_unique<TThdsInterpolate>(fJob, k, *fMailbox));
  }
  // Started once all exist, so the log has every "Start Thread: " line
  // before the first "Add Thread: ".
  for (auto& worker : fWorkers) worker->Start();
  if (fListener) fListener->ThreadsRunningChanged(ThreadsRunning);
}

void TInterpolationScheduler::LogStripe(bool Added) {
  const auto [first, last] = Stripe(ThreadsID, ThreadsTasks, fWidth);
  fFeedback.Log(std::string(Added ? "Add Thread: " : "Start Thread: ") + std::to_string(first) + "     " +
                std::to_string(last));
}

bool TInterpolationScheduler::Poll() {
  if (!fStarted) return false;
  std::unique_lock lock(fMailbox->Mutex);
  Deliver(lock);
  return Finished();
}

void TInterpolationScheduler::Wait() {
  if (!fStarted) return;
  std::unique_lock lock(fMailbox->Mutex);
  while (!Finished()) {
    fMailbox->Posted.wait(lock, [&] { return !fMailbox->Events.empty(); });
    Deliver(lock);
  }
}

// Takes the posted events and handles them without holding the lock, so
// workers can go on posting meanwhile.
void TInterpolationScheduler::Deliver(std::unique_lock<std::mutex>& lock) {
  std::deque<TWorkerMailbox::Event> events;
  events.swap(fMailbox->Events);
  lock.unlock();
  for (const auto& event : events) {
    switch (event.Kind) {
      case TWorkerMailbox::TKind::Step:
        ++fColumnsDone;
        fFeedback.SetProgress(std::min(fColumnsDone, std::max(fWidth - 1, 0)), std::max(fWidth - 1, 0));
        break;
      case TWorkerMailbox::TKind::Taken:
        ThreadsID = event.Stripe;
        LogStripe(true);
        break;
      case TWorkerMailbox::TKind::Ended:
        --ThreadsRunning;
        if (fListener) fListener->ThreadsRunningChanged(ThreadsRunning);
        break;
    }
  }
  lock.lock();
}

}  // namespace sondralis
