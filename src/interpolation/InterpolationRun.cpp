#include "interpolation/InterpolationRun.h"

#include <cmath>
#include <string>
#include <utility>

#include "interpolation/ImageExport.h"
#include "interpolation/SampleGrid.h"
#include "model/Host.h"
#include "model/Numbers.h"
#include "model/Text.h"

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

// ---------------------------------------------------------------- depth map

TDepthMap::~TDepthMap() = default;

void TDepthMap::UpdateShadowArray(TGPXDraw& GPXView) {
  TCoverage coverage = BuildCoverage(GPXView);
  ShadowArray = coverage.ShadowArray;
  ShoreLine = std::move(coverage.ShoreLine);
  ShadowMap = std::move(coverage.ShadowMap);
  InCoord = coverage.ShoreCoord;
  InDepth = coverage.ShoreDepth;
  CoveredPixels = coverage.Covered;
}

std::optional<int> ParseInterpolationRadius(const std::string& Text) {
  const auto radius = ParseInteger(Text);
  if (!radius || *radius < 0 || *radius > 999) return std::nullopt;
  return static_cast<int>(*radius);
}

std::string RadiusError(const std::string& Text) {
  return "The extrapolation radius \"" + Text + "\" is not a whole number of pixels from 0 to 999.";
}

bool TDepthMap::StartInterpolation(TGPXDraw& GPXView, const TInterpolationSettings& Settings, Host& host,
                                   TInterpolationListener* Listener) {
  if (!Settings.FileLoaded || !GPXView.GPXd) return false;
  if (Running()) {
    host.ShowError("An interpolation is running already.");
    return false;
  }
  const std::optional<int> radius = ParseInterpolationRadius(Settings.InterpolationWidth);
  if (!radius) {
    host.ShowError(RadiusError(Settings.InterpolationWidth));
    return false;
  }
  TGPX& GPXdata = *GPXView.GPXd;
  TCoverage coverage = BuildCoverage(GPXView);
  long long trackPoints = 0;
  for (TGPXtrk* track : GPXdata.trk)
    for (TGPXtrkseg* segment : *track)
      for (bool kept : ThinningKeeps(*segment, Settings.DecimateLatitude, Settings.DecimateLongitude))
        trackPoints += kept;
  if (trackPoints + coverage.ShoreCoord.Length() == 0) {
    host.ShowError("There are no depth samples to interpolate: load tracks with depth readings first.");
    return false;
  }
  if (coverage.Covered == 0) {
    host.ShowError(
        "No pixel lies on water within the extrapolation radius of a depth track: there is nothing to interpolate.");
    return false;
  }

  // From here on the run changes things.
  ShadowArray = coverage.ShadowArray;
  ShoreLine = std::move(coverage.ShoreLine);
  ShadowMap = std::move(coverage.ShadowMap);
  CoveredPixels = coverage.Covered;
  GPXView.ShadowMapTrackWidth = static_cast<int>(*radius);  // takes effect at the next redraw

  const int removed = ThinTracks(GPXdata, Settings.DecimateLatitude, Settings.DecimateLongitude);
  host.Log("Thinning removed " + std::to_string(removed) + " track points");

  // Samples afresh: the shoreline of this mask, then every track point.
  InCoord = coverage.ShoreCoord;
  InDepth = coverage.ShoreDepth;
  InCoord.Reserve(static_cast<std::size_t>(InCoord.Length() + trackPoints));
  InDepth.Reserve(static_cast<std::size_t>(InDepth.Length() + trackPoints));
  for (TGPXtrk* track : GPXdata.trk)
    for (TGPXtrkseg* segment : *track)
      for (const TPoint4D2* p : *segment) {
        InCoord.Add({static_cast<float>(p->Longitude), static_cast<float>(p->Latitude)});
        InDepth.Add(static_cast<float>(p->HBdepth));
      }
  host.Log("Samples: " + std::to_string(InCoord.Length()) + ", covered pixels: " + std::to_string(CoveredPixels));

  fWidth = GPXView.Width();
  fHeight = GPXView.Height();
  ShepardInterp = std::make_shared<TShepardInterp>(InCoord, InDepth, Settings.Power, &host);
  InterpolArray.SetSize(fWidth, fHeight);
  DepthArray.SetSize(fWidth, fHeight);
  auto coordinates = std::make_shared<TPixelCoordinates>(GridNodes(ViewGridExtent(GPXView), fWidth, fHeight));

  TInterpolationJob job;
  job.Image = InterpolArray;
  job.ShadowArray = ShadowArray;
  job.Depths = DepthArray;
  job.ShepardInterp = ShepardInterp;
  job.Coordinates = std::move(coordinates);
  job.MaxDepth = Settings.MaxDepth;
  job.clShallow = Settings.clShallowWater;
  job.clDeep = Settings.clDeepWater;
  fScheduler = std::make_unique<TInterpolationScheduler>(std::move(job), fWidth, Settings.ThreadsRun, host, Listener);
  fScheduler->Start();
  return true;
}

bool TDepthMap::Poll() {
  if (!fScheduler) return true;
  if (!fScheduler->Poll()) return false;
  Complete();
  return true;
}

void TDepthMap::Wait() {
  if (!fScheduler) return;
  fScheduler->Wait();
  Complete();
}

bool TDepthMap::Interpolate(TGPXDraw& GPXView, const TInterpolationSettings& Settings, Host& host,
                            TInterpolationListener* Listener) {
  if (!StartInterpolation(GPXView, Settings, host, Listener)) return false;
  Wait();
  return true;
}

void TDepthMap::Complete() {
  InterpolatedImage.SetSize(fWidth, fHeight);
  for (int y = 0; y < fHeight; ++y) {
    std::uint32_t* row = InterpolatedImage.ScanLine(y);
    for (int x = 0; x < fWidth; ++x) row[x] = TCanvas::ToRGB32(InterpolArray[x][y]);
  }
  fScheduler.reset();
  ShepardInterp.reset();
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

std::string TDepthMap::SaveImage(Host& host) const {
  if (!InterpLoaded) return {};
  return SavePicture(host, InterpolatedImage);
}

void TDepthMap::Clear() {
  fScheduler.reset();
  ShepardInterp.reset();
  InterpLoaded = false;
  InterpolatedImage.SetSize(0, 0);
  InterpolArray = TColorArray();
  DepthArray = TDepthArray();
}

}  // namespace sondralis
