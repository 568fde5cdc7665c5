#include "interpolation/ShepardThread.h"

#include <algorithm>
#include <string>

#include "model/Host.h"

namespace sondralis {

// The workers' way to their owner: a queue of events under a lock. Workers
// post and never wait for the owner to take them; the owner takes them on its
// own thread in Poll or Wait.
class TWorkerMailbox {
 public:
  struct Event {
    bool Done = false;  // false: one progress step
    TShepardThread* Worker = nullptr;
  };

  explicit TWorkerMailbox(TInterpolationListener* listener) : fListener(listener) {}

  void Post(Event event) {
    {
      std::lock_guard lock(Mutex);
      Events.push_back(event);
    }
    Posted.notify_one();
    if (fListener) fListener->Wake();
  }

  std::mutex Mutex;
  std::condition_variable Posted;
  std::deque<Event> Events;
  std::atomic<bool> Abandon{false};

 private:
  TInterpolationListener* fListener;
};

// ---------------------------------------------------------------- workers

TShepardThread::TShepardThread(const TInterpolationJob& Job, int xStart, int xStop, TWorkerMailbox& Mailbox)
    : FImage(Job.Image),
      FShadowArray(Job.ShadowArray),
      FDepths(Job.Depths),
      FShepardInterp(Job.ShepardInterp),
      FCoordinates(Job.Coordinates),
      FxStart(xStart),
      FxStop(xStop),
      FMaxDepth(Job.MaxDepth),
      FclShallow(Job.clShallow),
      FclDeep(Job.clDeep),
      fMailbox(Mailbox) {}

TShepardThread::~TShepardThread() {
  if (fThread.joinable()) fThread.join();
}

void TShepardThread::Start() {
  fThread = std::thread([this] {
    // An error ends the stripe early; the owner still hears that the worker
    // is done, so the run goes on.
    try {
      Execute();
    } catch (...) {
    }
    fMailbox.Post({true, this});
  });
}

void TShepardThread::Execute() { DoInterpolate(); }

void TShepardThread::StepProgress() { fMailbox.Post({false, this}); }

bool TShepardThread::Abandoned() const { return fMailbox.Abandon.load(std::memory_order_relaxed); }

TThdsInterpolate::~TThdsInterpolate() {
  // The thread runs DoInterpolate of this class: it must end before this
  // part of the object goes.
  Join();
}

void TShepardThread::Join() {
  if (fThread.joinable()) fThread.join();
}

void TThdsInterpolate::DoInterpolate() {
  if (FxStop < FxStart) return;
  const TShepardInterp& interp = *FShepardInterp;
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
  for (int x = FxStart; x <= FxStop; ++x) {
    if (Abandoned()) return;
    StepProgress();
    const double lon = at.Longitudes[static_cast<std::size_t>(x)];
    const std::span<const bool> wanted = masked ? std::span<const bool>(FShadowArray[x]) : std::span<const bool>();
    interp.Column(lon, at.Latitudes, wanted, interp.Tolerance(), column, nullptr,
                  colours ? TShepardInterp::TExactWhere(colourUnsure) : TShepardInterp::TExactWhere());
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

TInterpolationScheduler::TInterpolationScheduler(TInterpolationJob Job, int Width, int ThreadsRun_, Host& host,
                                                 TInterpolationListener* Listener)
    : ThreadsRun(std::max(ThreadsRun_, 1)),
      fJob(std::move(Job)),
      fWidth(std::max(Width, 0)),
      fHost(host),
      fListener(Listener),
      fMailbox(std::make_unique<TWorkerMailbox>(Listener)) {}

TInterpolationScheduler::~TInterpolationScheduler() {
  fMailbox->Abandon = true;
  for (auto& worker : fWorkers) worker.reset();
}

int TInterpolationScheduler::TaskCount(int Width) { return std::max(1, (Width - 1) / kStripeWidth); }

std::pair<int, int> TInterpolationScheduler::Stripe(int k, int Tasks, int Width) {
  const int s = (Width - 1) / Tasks;
  return {s * (k - 1), k == Tasks ? Width - 1 : s * k - 1};
}

void TInterpolationScheduler::Start() {
  if (fStarted) return;
  fStarted = true;
  ThreadsTasks = TaskCount(fWidth);
  fHost.Log("Num Tasks: " + std::to_string(ThreadsTasks));
  // A narrow view has fewer stripes than workers asked for: one worker per
  // stripe, never a stripe beyond the last column.
  ThreadsRun = std::min(ThreadsRun, ThreadsTasks);
  ThreadsRunning = ThreadsRun;
  for (int k = 1; k <= ThreadsRun; ++k) {
    ThreadsID = k;
    StartWorker(false);
  }
  if (fListener) fListener->ThreadsRunningChanged(ThreadsRunning);
}

void TInterpolationScheduler::StartWorker(bool Added) {
  const auto [first, last] = Stripe(ThreadsID, ThreadsTasks, fWidth);
  fHost.Log(std::string(Added ? "Add Thread: " : "Start Thread: ") + std::to_string(first) + "     " +
            std::to_string(last));
  fWorkers.push_back(std::make_unique<TThdsInterpolate>(fJob, first, last, *fMailbox));
  fWorkers.back()->Start();
}

bool TInterpolationScheduler::Poll() {
  std::unique_lock lock(fMailbox->Mutex);
  Deliver(lock);
  return Finished();
}

void TInterpolationScheduler::Wait() {
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
    if (!event.Done) {
      if (fListener) fListener->StepProgress();
      continue;
    }
    // The worker has posted its last event; its thread is ending.
    auto it = std::find_if(fWorkers.begin(), fWorkers.end(), [&](const auto& w) { return w.get() == event.Worker; });
    if (it != fWorkers.end()) fWorkers.erase(it);
    if (ThreadsID < ThreadsTasks) {
      ++ThreadsID;
      StartWorker(true);
    } else {
      --ThreadsRunning;
      if (fListener) fListener->ThreadsRunningChanged(ThreadsRunning);
    }
  }
  lock.lock();
}

}  // namespace sondralis
