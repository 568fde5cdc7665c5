#include "interpolation/MapAccuracy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "interpolation/CoverageMask.h"
#include "interpolation/SampleGrid.h"
#include "interpolation/ShepardThread.h"
#include "interpolation/SurfaceInterp.h"

namespace sondralis {

namespace {

// A stretch of a depth track: consecutive samples of the run's list.
struct TPiece {
  std::size_t First = 0, Count = 0;
};

// The hold-out of one method as its part of all the methods' folds.
class TMethodPart : public TFeedback {
 public:
  TMethodPart(TFeedback& Outer, int Method, int Methods) : fOuter(Outer), fMethod(Method), fMethods(Methods) {
    StopWith(Outer);
  }
  void Log(const std::string& line) override { fOuter.Log(line); }
  void SetProgress(int Position, int Max) override { fOuter.SetProgress(fMethod * Max + Position, fMethods * Max); }
  void ProcessEvents() override { fOuter.ProcessEvents(); }

 private:
  TFeedback& fOuter;
  int fMethod, fMethods;
};

// The map of one fold: its workers' lines and progress are nobody's
// business, but each of its steps lets the caller's events run.
class TMapPart : public TFeedback {
 public:
  explicit TMapPart(TFeedback& Outer) : fOuter(Outer) { StopWith(Outer); }
  void SetProgress(int, int) override { fOuter.ProcessEvents(); }

 private:
  TFeedback& fOuter;
};

// Shoreline tracks are the segments whose every depth is 0 (or no number),
// as the shoreline mask takes them.
bool IsShoreline(const TGPXtrkseg& Segment) {
  for (const TPoint4D2* p : Segment)
    if (p->HBdepth != 0 && !std::isnan(p->HBdepth)) return false;
  return true;
}

TDepthArray MakeMap(const TInterpolationSettings& Settings, const TPointList& Coord, const TValueList& Depth,
                    const std::shared_ptr<const TPixelCoordinates>& Pixels, const TBooleanArray& Mask,
                    TFeedback& Feedback) {
  const int width = static_cast<int>(Pixels->Longitudes.size()), height = static_cast<int>(Pixels->Latitudes.size());
  TMapPart part(Feedback);
  TDepthArray map(width, height);
  if (Settings.Method == TInterpolationMethod::Surface) {
    TSurfaceSettings surface;
    surface.Threads = std::max(Settings.Threads, 1);
    try {
      SurfaceInterpolate(Coord, Depth, *Pixels, Mask, surface, map, part);
    } catch (const ESurfaceError& e) {
      throw ERunRefused(std::string("The surface could not be made: ") + e.what());
    }
    return map;
  }
  TInterpolationJob job;
  job.Depths = map;
  job.ShadowArray = Mask;
  job.ShepardInterp = std::make_shared<TShepardInterp>(Coord, Depth, Settings.Style, nullptr, Settings.Tolerance);
  job.Coordinates = Pixels;
  TInterpolationScheduler scheduler(std::move(job), width, std::max(Settings.Threads, 1), part);
  scheduler.Start();
  scheduler.Wait();
  if (scheduler.Canceled()) throw TCanceled{};
  return map;
}

}  // namespace

TAccuracy CheckAccuracy(TGPXDraw& View, const std::vector<TInterpolationSettings>& Methods, const TRunInput& Input,
                        int Folds, TFeedback& Feedback) {
  if (!View.GPXd) throw ERunRefused("There are no depth samples to check: load tracks with depth readings first.");
  if (Folds < 2) throw ERunRefused("The accuracy is checked with 2 folds or more, not " + std::to_string(Folds) + ".");
  for (const TInterpolationSettings& s : Methods) {
    if (s.Radius < 0 || s.Radius > kMaxInterpolationRadius)
      throw ERunRefused("The extrapolation radius " + std::to_string(s.Radius) +
                        " is not a whole number of pixels from 0 to 999.");
    if (!(s.Tolerance >= 0) || !std::isfinite(s.Tolerance))
      throw ERunRefused("The tolerance of the interpolation must be 0 or more centimetres.");
  }
  const TCoverage coverage = BuildCoverage(View);
  if (coverage.Covered == 0)
    throw ERunRefused(
        "No pixel lies on water within the extrapolation radius of a depth track: there is nothing to interpolate.");
  const int width = View.Width(), height = View.Height();
  const auto pixels = std::make_shared<const TPixelCoordinates>(GridNodes(ViewGridExtent(View), width, height));

  // The samples a run would make, in its order: the mask's shoreline, then
  // the points thinning keeps of every segment.
  TAccuracy result;
  result.Folds = Folds;
  std::vector<TFoldSample>& samples = result.Samples;
  for (int i = 0; i < coverage.ShoreCoord.Length(); ++i)
    samples.push_back({coverage.ShoreCoord[i][0], coverage.ShoreCoord[i][1], coverage.ShoreDepth[i]});
  std::vector<TPiece> pieces;
  for (TGPXtrk* track : View.GPXd->trk)
    for (TGPXtrkseg* segment : *track) {
      const std::vector<bool> keep = ThinningKeeps(*segment, Input.DecimateLatitude, Input.DecimateLongitude);
      const std::size_t first = samples.size();
      for (int i = 0; i < segment->Count(); ++i)
        if (keep[static_cast<std::size_t>(i)]) {
          const TPoint4D2& p = *(*segment)[i];
          samples.push_back({static_cast<float>(p.Longitude), static_cast<float>(p.Latitude),
                             static_cast<float>(p.HBdepth)});
        }
      if (samples.size() == first || IsShoreline(*segment)) continue;
      pieces.push_back({first, samples.size() - first});
      result.Soundings += static_cast<int>(samples.size() - first);
      ++result.Segments;
    }
  // Too few pieces for the folds: the longest is cut in halves, each a
  // stretch of track of its own.
  while (static_cast<int>(pieces.size()) < Folds) {
    const auto longest =
        std::max_element(pieces.begin(), pieces.end(), [](const TPiece& a, const TPiece& b) { return a.Count < b.Count; });
    if (longest == pieces.end() || longest->Count < 2) break;
    const TPiece second{longest->First + (longest->Count + 1) / 2, longest->Count / 2};
    longest->Count -= second.Count;
    pieces.insert(longest + 1, second);
  }
  result.Pieces = static_cast<int>(pieces.size());
  if (pieces.size() < 2)
    throw ERunRefused("Checking the accuracy needs depth soundings in at least two places to hold one out; " +
                      std::to_string(result.Soundings) + (result.Soundings == 1 ? " sounding is" : " soundings are") +
                      " not enough.");

  // The soundings held out with each piece, and the folds the hold-out deals
  // them into (as HoldOutScore deals them, from the same sizes).
  std::vector<std::vector<TSounding>> held(pieces.size());
  std::vector<int> pieceOf(samples.size(), -1);
  std::vector<int> sizes;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    for (std::size_t i = pieces[k].First; i < pieces[k].First + pieces[k].Count; ++i) {
      pieceOf[i] = static_cast<int>(k);
      if (std::isfinite(samples[i].Depth)) held[k].push_back({samples[i].Longitude, samples[i].Latitude, samples[i].Depth});
    }
    sizes.push_back(static_cast<int>(held[k].size()));
  }
  const std::vector<int> fold = AssignFolds(sizes, Folds);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const int k = pieceOf[i];
    if (k < 0 || held[static_cast<std::size_t>(k)].empty()) continue;
    samples[i].Fold = fold[static_cast<std::size_t>(k)];
    if (!std::isfinite(samples[i].Depth)) continue;
    if (const auto pixel = NearestPixel(*pixels, samples[i].Longitude, samples[i].Latitude);
        pixel && coverage.ShadowArray[pixel->first][pixel->second]) {
      samples[i].PixelX = pixel->first;
      samples[i].PixelY = pixel->second;
    }
  }
  Feedback.Log("Hold-out: " + std::to_string(result.Soundings) + " soundings of " + std::to_string(result.Segments) +
               " segments in " + std::to_string(result.Pieces) + " pieces, " + std::to_string(Folds) + " folds");

  for (std::size_t m = 0; m < Methods.size(); ++m) {
    const TInterpolationSettings& settings = Methods[m];
    TMethodPart part(Feedback, static_cast<int>(m), static_cast<int>(Methods.size()));
    const TMapWithout without = [&](const std::vector<bool>& LeftOut) {
      TPointList coord;
      TValueList depth;
      coord.Reserve(samples.size());
      depth.Reserve(samples.size());
      for (std::size_t i = 0; i < samples.size(); ++i) {
        if (pieceOf[i] >= 0 && LeftOut[static_cast<std::size_t>(pieceOf[i])]) continue;
        coord.Add({samples[i].Longitude, samples[i].Latitude});
        depth.Add(samples[i].Depth);
      }
      return MakeMap(settings, coord, depth, pixels, coverage.ShadowArray, part);
    };
    TMethodAccuracy accuracy{settings, HoldOutScore(held, *pixels, Folds, without, part)};
    Feedback.Log(AccuracyLine(accuracy));
    result.Methods.push_back(accuracy);
  }
  result.Pixels = *pixels;
  return result;
}

std::string AccuracyLine(const TMethodAccuracy& Accuracy) {
  std::string line = MethodName(Accuracy.Settings.Method);
  if (Accuracy.Settings.Method == TInterpolationMethod::Shepard) line += " style " + std::to_string(Accuracy.Settings.Style);
  const THoldOutScore& s = Accuracy.Score;
  if (s.Count == 0) return line + ": no held-out sounding lies on a covered pixel";
  char figures[160];
  std::snprintf(figures, sizeof figures, ": %d held-out soundings, RMS %.1f cm, median %.1f cm, 95th percentile %.1f cm",
                s.Count, s.Rms, s.MedianAbs, s.P95Abs);
  return line + figures;
}

}  // namespace sondralis
