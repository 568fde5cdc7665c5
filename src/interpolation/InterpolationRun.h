#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/CoverageMask.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/ShepardThread.h"
#include "interpolation/ShoreSamples.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

// Which points of a track segment thinning keeps: walking from the first
// point, a point stays exactly when both its latitude and its longitude
// differ from the last point kept (at first latitude 1.0, longitude 1.0) by
// at least the thresholds; a point that is too close in either is dropped.
std::vector<bool> ThinningKeeps(const TPointList2& Segment, double DecimateLatitude, double DecimateLongitude);
// Drops those points from every segment of every track of the document and
// returns how many it dropped.
int ThinTracks(TGPX& GPXdata, double DecimateLatitude, double DecimateLongitude);

// A run that cannot work: the message says why. Thrown before the run
// changes anything, or at its end when the surface method could not be
// fitted; either way the depth map stays as the last completed run left it.
class ERunRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The refusal of a run whose mask covers no pixel: no water lies within the
// extrapolation radius of a depth track. The project adds the likely cause.
class ENoWaterCovered : public ERunRefused {
 public:
  using ERunRefused::ERunRefused;
};

// The largest extrapolation radius, in pixels.
inline constexpr int kMaxInterpolationRadius = 999;

// What the user chooses for a run (the Interpolated Map tab, map's options).
// How the depths between the soundings are found: Shepard's inverse-distance
// weighting (the classic method, the default), or a smooth surface fitted to
// block medians of the soundings.
enum class TInterpolationMethod { Shepard, Surface };

struct TInterpolationSettings {
  int Radius = 30;   // extrapolation radius: the band around the depth tracks, 0 to 999 pixels
  int Style = 8;     // interpolator style: the power of the weights, 2 (smooth) to 14 (hard)
  int Threads = 1;   // workers
  TInterpolationMethod Method = TInterpolationMethod::Shepard;
  // Centimetres within which Shepard's far samples may be bounded instead of
  // summed; 0 sums every sample. The surface method has no use for it.
  double Tolerance = 0;
  // The depth of the shoreline's samples, or none at all; 0 cm by default.
  TShoreDepth ShoreDepth;
  // Soundings outside the shoreline are mapped too (BuildCoverage).
  bool KeepOutside = false;

  bool operator==(const TInterpolationSettings&) const = default;
};

// The tolerance the window and `map` run Shepard's method at: a thousandth
// of a millimetre, far below anything a picture, a contour or a file for the
// unit shows, and a tenth of the run's time.
inline constexpr double kMapTolerance = 0.001;

// "Shepard" or "Surface".
const char* MethodName(TInterpolationMethod Method);

// What a run takes from the map beside the settings.
struct TRunInput {
  int MaxDepth = 0;              // centimetres of the deep colour
  TColor clShallow = clRed;      // colour of depth 0
  TColor clDeep = clBlue;        // colour of MaxDepth
  double DecimateLatitude = 0;   // degrees per pixel row of the view: the thinning thresholds
  double DecimateLongitude = 0;  // degrees per pixel column of the view
};

// The interpolated depth map of the map view: the coverage mask with its
// shoreline samples, the samples of a run, the workers' arrays and the
// picture. The window and sondralis-cli drive the same object.
//
// A run: refuse what cannot work (ERunRefused, before changing anything);
// then rebuild the mask, thin the tracks of the view's document, collect
// samples afresh (the shoreline pixels of the mask, then every track point),
// and let the workers fill the colours and depths. Until the last worker has
// finished the run works on arrays of its own: only then do the mask, the
// samples, InterpolArray, DepthArray and InterpolatedImage become the run's
// and InterpLoaded is set. A run cancelled through its feedback leaves them
// all as the last completed run left them (the thinning it did stays, as it
// would after the run).
class TDepthMap {
 public:
  TDepthMap();
  TDepthMap(const TDepthMap&) = delete;
  TDepthMap& operator=(const TDepthMap&) = delete;
  ~TDepthMap();

  // Samples of the last mask or run: positions and depths in centimetres.
  TPointList InCoord;
  TValueList InDepth;
  TBooleanArray ShadowArray;  // the coverage mask
  TColorArray InterpolArray;  // the colours of the last run
  TDepthArray DepthArray;     // the depths of the last run; NaN where not covered
  TCanvas ShoreLine;          // the shoreline mask (ShoreLine tab)
  TCanvas ShadowMap;          // copy of the track shadow map, for the preview
  TCanvas InterpolatedImage;  // the picture of the last run
  bool InterpLoaded = false;  // a run has completed since the last Clear
  int CoveredPixels = 0;      // pixels set in ShadowArray

  // Rebuilds the mask from the view as last drawn, with the settings' shore
  // depth and KeepOutside; the samples become the shoreline pixels of the
  // new mask alone. Not while a run is going.
  void UpdateShadowArray(TGPXDraw& GPXView, const TInterpolationSettings& Settings = {});

  // Starts a run over the view and its document. False, changing nothing,
  // when the view shows no document; ERunRefused when the run cannot work.
  // Log lines and progress go to the feedback, which may cancel the run;
  // the count of running workers and the wake-ups to the listener. The
  // view, its document and the feedback must stay unchanged and alive until
  // the run has ended.
  bool StartInterpolation(TGPXDraw& GPXView, const TInterpolationSettings& Settings, const TRunInput& Input,
                          TFeedback& Feedback, TInterpolationListener* Listener = nullptr);
  // Delivers what the workers posted; true when no run is going any more.
  // Never blocks. Throws TCanceled when the run has just ended cancelled,
  // ERunRefused when it has just ended without a map.
  bool Poll();
  // Blocks until the run has ended; throws TCanceled when it was cancelled,
  // ERunRefused when it ended without a map.
  void Wait();
  // A whole run, blocking; false when there is nothing to run. Throws
  // ERunRefused and TCanceled.
  bool Interpolate(TGPXDraw& GPXView, const TInterpolationSettings& Settings, const TRunInput& Input,
                   TFeedback& Feedback, TInterpolationListener* Listener = nullptr);
  bool Running() const noexcept { return fScheduler != nullptr; }
  // The scheduler of the running run, or null.
  const TInterpolationScheduler* Scheduler() const noexcept { return fScheduler.get(); }

  // The picture the Interpolated Map tab shows before a run: the coverage
  // band of the last mask (the shadow map) with the Source Tracks picture
  // over it, white in both being transparent, on white.
  TCanvas CoveragePreview(const TCanvas& SourcePicture) const;

  // The interpolated depth at view pixel (x, y), NaN outside the coverage or
  // before a run.
  double DepthAt(int X, int Y) const;

  // Start over: no picture, no run result.
  void Clear();

 private:
  struct TPending;
  // Ends the run: a completed one becomes the depth map's, a cancelled one
  // is dropped (TCanceled).
  void End();

  std::unique_ptr<TPending> fPending;  // what the running run makes
  std::shared_ptr<const TShepardInterp> ShepardInterp;  // only while a run goes
  std::unique_ptr<TInterpolationScheduler> fScheduler;
};

}  // namespace sondralis
