#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/CoverageMask.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/ShepardThread.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

class Host;

// Which points of a track segment thinning keeps: walking from the first
// point, a point stays exactly when both its latitude and its longitude
// differ from the last point kept (at first latitude 1.0, longitude 1.0) by
// at least the thresholds; a point that is too close in either is dropped.
std::vector<bool> ThinningKeeps(const TPointList2& Segment, double DecimateLatitude, double DecimateLongitude);
// Drops those points from every segment of every track of the document and
// returns how many it dropped.
int ThinTracks(TGPX& GPXdata, double DecimateLatitude, double DecimateLongitude);

// The extrapolation radius in the text of its field: a whole number of
// pixels from 0 to 999, or nothing; RadiusError says what is wrong.
std::optional<int> ParseInterpolationRadius(const std::string& Text);
std::string RadiusError(const std::string& Text);

// What an interpolation run reads from the window.
struct TInterpolationSettings {
  bool FileLoaded = false;                 // tracks have been loaded
  int ThreadsRun = 1;                      // tbInterpolateThrds
  int Power = 8;                           // tbInterpolatorStyle, 2 to 14
  std::string InterpolationWidth = "30";   // edtInterpolationWidth, pixels
  int MaxDepth = 0;                        // centimetres of the deep colour
  TColor clShallowWater = 255;
  TColor clDeepWater = 16711680;
  double DecimateLatitude = 0;   // degrees per pixel row of the view
  double DecimateLongitude = 0;  // degrees per pixel column of the view
};

// The interpolated depth map of the map view: the coverage mask with its
// shoreline samples, the samples of a run, the workers' arrays and the
// picture. The window and sondralis-cli drive the same object.
//
// A run: refuse what cannot work (no tracks, a radius that is not a number,
// no samples, no covered pixel) with a message before changing anything;
// then rebuild the mask, thin the tracks of the view's document, collect
// samples afresh (the shoreline pixels of the mask, then every track point),
// and let the workers fill InterpolArray and DepthArray. When the last worker
// has finished, InterpolatedImage holds the picture and InterpLoaded is set.
class TDepthMap {
 public:
  TDepthMap() = default;
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

  // Rebuilds the mask from the view as last drawn; the samples become the
  // shoreline pixels of the new mask alone. Not while a run is going.
  void UpdateShadowArray(TGPXDraw& GPXView);

  // Starts a run over the view and its document; returns false, changing
  // nothing, when it is refused (nothing loaded, or a message through host).
  // Log lines go to host; progress and the count of running workers to the
  // listener. The view, its document and the host must stay unchanged and
  // alive until the run is complete.
  bool StartInterpolation(TGPXDraw& GPXView, const TInterpolationSettings& Settings, Host& host,
                          TInterpolationListener* Listener = nullptr);
  // Delivers what the workers posted; true when no run is going any more.
  // Never blocks.
  bool Poll();
  // Blocks until the run is complete.
  void Wait();
  // A whole run, blocking; false when refused.
  bool Interpolate(TGPXDraw& GPXView, const TInterpolationSettings& Settings, Host& host,
                   TInterpolationListener* Listener = nullptr);
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

  // "Save Image...": the picture as BMP or JPEG through the host's dialogs.
  // Does nothing before a run has completed. Returns the path written.
  std::string SaveImage(Host& host) const;

  // Start over: no picture, no run result.
  void Clear();

 private:
  void Complete();

  int fWidth = 0, fHeight = 0;
  std::shared_ptr<const TShepardInterp> ShepardInterp;  // only while a run goes
  std::unique_ptr<TInterpolationScheduler> fScheduler;
};

}  // namespace sondralis
