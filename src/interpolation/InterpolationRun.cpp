#include "interpolation/InterpolationRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "interpolation/SampleGrid.h"
#include "interpolation/SurfaceInterp.h"

namespace sondralis {

// ---------------------------------------------------------------- thinning

std::vector<bool> ThinningKeeps(const TPointList2& Segment, double DecimateLatitude, double DecimateLongitude) {
  std::vector<bool> keep(static_cast<std::size_t>(Segment.Count()));
  double lastLatitude = 1.0, lastLongitude = 1.0;
  for (int i = 0; i < Segment.Count(); ++i) {
    const TPoint4D2& p = *Segment[i];
    // Written as the drop condition, so a point whose coordinates are not
    // numbers is kept, as one compared in any other way would not be.
    const bool drop = std::fabs(lastLatitude - p.Latitude) < DecimateLatitude ||
                      std::fabs(lastLongitude - p.Longitude) < DecimateLongitude;
    if (drop) continue;
    keep[static_cast<std::size_t>(i)] = true;
    lastLatitude = p.Latitude;
    lastLongitude = p.Longitude;
  }
  return keep;
}

int ThinTracks(TGPX& GPXdata, double DecimateLatitude, double DecimateLongitude) {
  int removed = 0;
  for (TGPXtrk* track : GPXdata.trk)
    for (TGPXtrkseg* segment : *track) {
      const std::vector<bool> keep = ThinningKeeps(*segment, DecimateLatitude, DecimateLongitude);
      std::vector<TPoint4D2*> points(segment->begin(), segment->end());
      // Rebuilding the list once keeps thinning linear in the points.
      segment->Clear();
      for (std::size_t i = 0; i < points.size(); ++i) {
        if (keep[i]) {
          segment->Add(points[i]);
        } else {
          delete points[i];
          ++removed;
        }
      }
    }
  // The selection may name points that are gone.
  if (removed) GPXdata.Selection.Clear();
  return removed;
}

const char* MethodName(TInterpolationMethod Method) {
  return Method == TInterpolationMethod::Surface ? "Surface" : "Shepard";
}

// ---------------------------------------------------------------- depth map

namespace {

// A segment all of whose points are at depth 0 is an outline (a shoreline
// or an island), as the mask takes it.
bool IsOutline(const TGPXtrkseg& Segment) {
  return std::all_of(Segment.begin(), Segment.end(), [](const TPoint4D2* p) { return p->HBdepth == 0; });
}

}  // namespace

// What a run makes before it is complete.
struct TDepthMap::TPending {
  TCoverage Coverage;
  TPointList InCoord;
  TValueList InDepth;
  TColorArray InterpolArray;
  TDepthArray DepthArray;
  int Width = 0, Height = 0;
  std::shared_ptr<TLazySurface> Surface;  // the surface method's fit, when it is the method
  TFeedback* Feedback = nullptr;
};

TDepthMap::TDepthMap() = default;
TDepthMap::~TDepthMap() = default;

void TDepthMap::UpdateShadowArray(TGPXDraw& GPXView, const TInterpolationSettings& Settings) {
  TCoverage coverage = BuildCoverage(GPXView, Settings.KeepOutside);
  ShadowArray = coverage.ShadowArray;
  ShoreLine = std::move(coverage.ShoreLine);
  ShadowMap = std::move(coverage.ShadowMap);
  TSampleLists shore = ShoreSamples(coverage, Settings.ShoreDepth);
  InCoord = std::move(shore.Coord);
  InDepth = std::move(shore.Depth);
  CoveredPixels = coverage.Covered;
}

bool TDepthMap::StartInterpolation(TGPXDraw& GPXView, const TInterpolationSettings& Settings, const TRunInput& Input,
                                   TFeedback& Feedback, TInterpolationListener* Listener) {
  if (!GPXView.GPXd) return false;
  if (Running()) throw ERunRefused("An interpolation is running already.");
  if (Settings.Radius < 0 || Settings.Radius > kMaxInterpolationRadius)
    throw ERunRefused("The extrapolation radius " + std::to_string(Settings.Radius) +
                      " is not a whole number of pixels from 0 to 999.");
  if (!(Settings.Tolerance >= 0) || !std::isfinite(Settings.Tolerance))
    throw ERunRefused("The tolerance of the interpolation must be 0 or more centimetres.");
  TGPX& GPXdata = *GPXView.GPXd;
  auto pending = std::make_unique<TPending>();
  pending->Coverage = BuildCoverage(GPXView, Settings.KeepOutside);
  const TCoverage& coverage = pending->Coverage;
  // The outlines' own points are shoreline samples too: at the shore depth,
  // or none.
  const TShoreDepth& shore = Settings.ShoreDepth;
  long long trackPoints = 0;
  for (TGPXtrk* track : GPXdata.trk)
    for (TGPXtrkseg* segment : *track) {
      if (!shore.Samples && IsOutline(*segment)) continue;
      for (bool kept : ThinningKeeps(*segment, Input.DecimateLatitude, Input.DecimateLongitude)) trackPoints += kept;
    }
  if (trackPoints + (shore.Samples ? coverage.ShoreCoord.Length() : 0) == 0)
    throw ERunRefused("There are no depth samples to interpolate: load tracks with depth readings first.");
  if (coverage.Covered == 0)
    throw ENoWaterCovered(
        "No pixel lies on water within the extrapolation radius of a depth track: there is nothing to interpolate.");

  // From here on the run changes things.
  GPXView.ShadowMapTrackWidth = Settings.Radius;  // takes effect at the next redraw
  const int removed = ThinTracks(GPXdata, Input.DecimateLatitude, Input.DecimateLongitude);
  Feedback.Log("Thinning removed " + std::to_string(removed) + " track points");

  // Samples afresh: the shoreline of this mask at the shore depth, then
  // every track point.
  TPointList& coord = pending->InCoord;
  TValueList& depth = pending->InDepth;
  TSampleLists shoreSamples = ShoreSamples(coverage, shore);
  coord = std::move(shoreSamples.Coord);
  depth = std::move(shoreSamples.Depth);
  coord.Reserve(static_cast<std::size_t>(coord.Length() + trackPoints));
  depth.Reserve(static_cast<std::size_t>(depth.Length() + trackPoints));
  for (TGPXtrk* track : GPXdata.trk)
    for (TGPXtrkseg* segment : *track) {
      const bool outline = IsOutline(*segment);
      if (outline && !shore.Samples) continue;
      for (const TPoint4D2* p : *segment) {
        coord.Add({static_cast<float>(p->Longitude), static_cast<float>(p->Latitude)});
        depth.Add(outline ? shore.DepthCm : static_cast<float>(p->HBdepth));
      }
    }
  Feedback.Log("Samples: " + std::to_string(coord.Length()) + ", covered pixels: " + std::to_string(coverage.Covered));

  const int width = pending->Width = GPXView.Width();
  const int height = pending->Height = GPXView.Height();
  pending->InterpolArray.SetSize(width, height);
  pending->DepthArray.SetSize(width, height);
  auto coordinates = std::make_shared<TPixelCoordinates>(GridNodes(ViewGridExtent(GPXView), width, height));

  TInterpolationJob job;
  job.Image = pending->InterpolArray;
  job.ShadowArray = coverage.ShadowArray;
  job.Depths = pending->DepthArray;
  if (Settings.Method == TInterpolationMethod::Surface) {
    pending->Surface = std::make_shared<TLazySurface>(coord, depth, coordinates, coverage.ShadowArray,
                                                      TSurfaceSettings{}, Feedback);
    job.Surface = pending->Surface;
  } else {
    ShepardInterp = std::make_shared<TShepardInterp>(coord, depth, Settings.Style, &Feedback, Settings.Tolerance);
    job.ShepardInterp = ShepardInterp;
  }
  job.Coordinates = std::move(coordinates);
  job.MaxDepth = Input.MaxDepth;
  job.clShallow = Input.clShallow;
  job.clDeep = Input.clDeep;
  pending->Feedback = &Feedback;
  fPending = std::move(pending);
  fScheduler = std::make_unique<TInterpolationScheduler>(std::move(job), width, Settings.Threads, Feedback, Listener);
  fScheduler->Start();
  return true;
}

bool TDepthMap::Poll() {
  if (!fScheduler) return true;
  if (!fScheduler->Poll()) return false;
  End();
  return true;
}

void TDepthMap::Wait() {
  if (!fScheduler) return;
  fScheduler->Wait();
  End();
}

bool TDepthMap::Interpolate(TGPXDraw& GPXView, const TInterpolationSettings& Settings, const TRunInput& Input,
                            TFeedback& Feedback, TInterpolationListener* Listener) {
  if (!StartInterpolation(GPXView, Settings, Input, Feedback, Listener)) return false;
  Wait();
  return true;
}

void TDepthMap::End() {
  const bool canceled = fScheduler->Canceled();
  fScheduler.reset();
  ShepardInterp.reset();
  std::unique_ptr<TPending> run = std::move(fPending);
  if (canceled) throw TCanceled{};
  if (run->Surface) {
    const TSurface* surface = run->Surface->Get();
    if (!surface) throw ERunRefused("The surface could not be made: " + run->Surface->Error());
    const TSurfaceReport& report = surface->Report();
    char cell[32];
    std::snprintf(cell, sizeof cell, "%.1f", report.CellSize);
    run->Feedback->Log("Surface: " + std::to_string(report.Blocks) + " block medians, lattice " +
                       std::to_string(report.LatticeColumns) + " x " + std::to_string(report.LatticeRows) +
                       " nodes " + cell + " m apart");
  }

  TCoverage& coverage = run->Coverage;
  ShadowArray = coverage.ShadowArray;
  ShoreLine = std::move(coverage.ShoreLine);
  ShadowMap = std::move(coverage.ShadowMap);
  CoveredPixels = coverage.Covered;
  InCoord = run->InCoord;
  InDepth = run->InDepth;
  InterpolArray = run->InterpolArray;
  DepthArray = run->DepthArray;
  InterpolatedImage.SetSize(run->Width, run->Height);
  for (int y = 0; y < run->Height; ++y) {
    std::uint32_t* row = InterpolatedImage.ScanLine(y);
    for (int x = 0; x < run->Width; ++x) row[x] = TCanvas::ToRGB32(InterpolArray[x][y]);
  }
  InterpLoaded = true;
}

TCanvas TDepthMap::CoveragePreview(const TCanvas& SourcePicture) const {
  TCanvas preview(ShadowMap.Width(), ShadowMap.Height());
  preview.DrawTransparent(0, 0, ShadowMap, kMaskOutside);
  preview.DrawTransparent(0, 0, SourcePicture, kMaskOutside);
  return preview;
}

double TDepthMap::DepthAt(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= DepthArray.Width() || Y >= DepthArray.Height()) return kNoDepth;
  return DepthArray[X][Y];
}

void TDepthMap::Clear() {
  fScheduler.reset();
  fPending.reset();
  ShepardInterp.reset();
  InterpLoaded = false;
  InterpolatedImage.SetSize(0, 0);
  InterpolArray = TColorArray();
  DepthArray = TDepthArray();
}

}  // namespace sondralis
