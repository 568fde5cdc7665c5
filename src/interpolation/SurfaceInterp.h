#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/ShepardThread.h"
#include "model/Feedback.h"

namespace sondralis {

// The "Surface" depth map: a smoothing spline in tension fitted to block
// medians of the soundings, beside Shepard's method.
//
// The samples are reduced to one median per lattice cell first (sounder
// noise and repeated passes make no ripples), then a surface is fitted on a
// square lattice in metres by penalised least squares: it stays close to the
// medians and bends as little as it can, with a little tension so that it
// does not swing out between far-apart lines. Depth-0 samples (the
// shoreline) make medians of their own, never mixed with a cell's soundings,
// so the surface comes down to 0 at the shore. The lattice is solved in one
// sparse Cholesky factorisation (Eigen) and the pixels read it with a cubic
// through the lattice nodes. Every value is clamped to 0 .. the deepest
// sample.
//
// The lattice is isotropic in metres, not in pixels: the pixel grid is in
// degrees and a pixel is narrower than it is tall away from the equator, so
// the bending measured in pixels would favour one direction. Positions are
// taken to metres at the grid's middle latitude.
//
// The result depends only on the inputs: the solve runs on one thread, the
// pixels are independent of each other, and no step uses a processor-specific
// path, so any thread count and any x86-64 processor give the same bytes.

// A request the surface cannot be made from; the message says why.
class ESurfaceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TSurfaceSettings {
  int Threads = 1;  // workers for the pixels; the result does not depend on it
  // Lattice spacing in metres; 0 chooses twice the pixel size, coarser when
  // the lattice would exceed MaxNodes nodes.
  double CellSize = 0;
  int MaxNodes = 16000;
  // Weight of bending against closeness to the block medians, in m²: the
  // surface S minimises Σ (S − z)² over the medians plus Smoothing · ∫
  // (1 − T)(S_xx² + 2 S_xy² + S_yy²) + T/ℓ² (S_x² + S_y²), with T = Tension
  // and ℓ = TensionLength. The defaults scored best over the generated
  // lakes' five survey patterns (scripts/score-lake.py).
  double Smoothing = 2;
  double Tension = 0.15;
  double TensionLength = 25;
  // Weight of a shoreline median against a sounding median.
  double ShoreWeight = 1;
};

// What a run did, for the log.
struct TSurfaceReport {
  int Blocks = 0;          // block medians fitted (soundings and shore)
  int LatticeColumns = 0;  // the lattice solved
  int LatticeRows = 0;
  double CellSize = 0;     // metres between finest lattice nodes
  int Covered = 0;         // pixels given a depth
};

// A surface fitted to the samples over the covered pixels of a grid, read
// column by column. Fitting is the costly part (block medians, the sparse
// solve); reading a pixel is a cubic through 16 lattice nodes, independent
// of every other pixel, so columns may be read on any thread in any order.
class TSurface {
 public:
  // Fits the surface for the pixels the mask covers (an empty mask covers
  // every pixel) of the grid Pixels. Coord and Depth are the run's samples
  // (longitude, latitude; centimetres); samples with a depth of 0 or less
  // are shoreline. Reports the first four progress steps of
  // SurfaceInterpolate (0 to 3 of 4) and throws TCanceled between them when
  // the feedback is cancelled; throws ESurfaceError when the samples and
  // depths differ in count, when there is no usable sample, when the mask
  // and the pixel grid differ in size or the settings are out of range.
  TSurface(const TPointList& Coord, const TValueList& Depth, const TPixelCoordinates& Pixels,
           const TBooleanArray& Mask, const TSurfaceSettings& Settings, TFeedback& Feedback);

  // The depth at every row Y of column Lon where Wanted[Y] is true (every row
  // when Wanted is empty), at latitude Latitudes[Y], clamped to 0 .. the
  // deepest sample; other rows of Depths are left as they are. Only pixels
  // of the fitted grid's covered extent (and a few lattice cells around it)
  // are meaningful.
  void Column(double Lon, std::span<const double> Latitudes, std::span<const bool> Wanted,
              std::span<double> Depths) const;

  const TSurfaceReport& Report() const noexcept { return fReport; }

 private:
  TSurfaceReport fReport;
  // The local plane in metres: x = (lon − Lon0)·Kx, y = (lat − Lat0)·Ky.
  double fLon0 = 0, fLat0 = 0, fKx = 0, fKy = 0;
  // The lattice: node (i, j) at (X0 + i·H, Y0 + j·H), value fNodes[j·Nx + i].
  double fX0 = 0, fY0 = 0, fH = 1;
  int fNx = 0, fNy = 0;
  std::vector<double> fNodes;  // empty when nothing is covered
  double fDeepest = 0;
};

// The surface of an interpolation run: fitted once, by whichever worker
// asks first, while the others wait for it. The fit reports nothing and
// stops when the run's feedback is cancelled.
class TLazySurface {
 public:
  TLazySurface(TPointList Coord, TValueList Depth, std::shared_ptr<const TPixelCoordinates> Pixels,
               TBooleanArray Mask, TSurfaceSettings Settings, const TFeedback& Run);

  // The fitted surface, or null when the fit failed or was cancelled.
  const TSurface* Get();
  // Why the fit failed; empty when it succeeded, was cancelled or has not
  // been tried.
  std::string Error() const;

 private:
  TPointList fCoord;
  TValueList fDepth;
  std::shared_ptr<const TPixelCoordinates> fPixels;
  TBooleanArray fMask;
  TSurfaceSettings fSettings;
  TSilentFeedback fFeedback;
  mutable std::mutex fMutex;
  bool fTried = false;
  std::optional<TSurface> fSurface;
  std::string fError;
};

// Fills Target (Pixels.Longitudes.size() columns × Pixels.Latitudes.size()
// rows, made that size when it is not) with the surface through the samples
// at every pixel the mask covers, and NaN everywhere else: TSurface, then
// every column read on Settings.Threads threads.
//
// Feedback gets the progress and is asked whether to stop between the steps
// and while the pixels are filled; when it is cancelled the function throws
// TCanceled and Target is left as it was. Throws ESurfaceError as TSurface
// does, before anything is touched.
TSurfaceReport SurfaceInterpolate(const TPointList& Coord, const TValueList& Depth, const TPixelCoordinates& Pixels,
                                  const TBooleanArray& Mask, const TSurfaceSettings& Settings, TDepthArray& Target,
                                  TFeedback& Feedback);

}  // namespace sondralis
