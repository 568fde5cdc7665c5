#include "interpolation/CoverageMask.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace sondralis {

bool PtInRgn(std::span<const TPoint> Polygon, TPoint P) {
  if (Polygon.empty()) return false;
  unsigned left = 0, right = 0;
  auto edge = [&](TPoint a, TPoint b) {
    if (!((a.Y <= P.Y && P.Y < b.Y) || (b.Y <= P.Y && P.Y < a.Y))) return;
    const double xc = static_cast<double>(b.X - a.X) / (b.Y - a.Y) * (P.Y - a.Y) + a.X;
    if (P.X > xc) ++left;
    if (P.X < xc) ++right;
  };
  const std::size_t last = Polygon.size() - 1;
  for (std::size_t i = 0; i < last; ++i) edge(Polygon[i], Polygon[i + 1]);
  if (Polygon[last] != Polygon[0]) edge(Polygon[last], Polygon[0]);
  return (left % 2 == 1) && (right % 2 == 1);
}

void DrawShoreLineMask(TGPXDraw& GPXView, TCanvas& ShoreLine) {
  const int w = GPXView.Width(), h = GPXView.Height();
  ShoreLine.SetSize(w, h);
  GPXView.GenerateAllShorelinePolygons();
  const auto& polygons = GPXView.ShorelinePolygons;
  const int m = static_cast<int>(polygons.size());
  // The last column and row are left out of the background, as the border
  // of the view is never interpolated anyway.
  const TRect background{0, 0, w - 1, h - 1};
  if (m == 0) {
    ShoreLine.SetBrushColor(kMaskWater);
    ShoreLine.FillRect(background);
    return;
  }
  ShoreLine.SetPenWidth(1);
  ShoreLine.SetPenColor(kMaskShore);
  ShoreLine.SetBrushColor(kMaskOutside);
  ShoreLine.FillRect(background);
  if (m == 1) {
    ShoreLine.SetBrushColor(kMaskWater);
    ShoreLine.Polygon(polygons[0]);
    return;
  }
  int outer = -1;
  for (int i = 0; i < m; ++i)
    for (int k = 0; k < m; ++k)
      if (k != i && !polygons[k].empty() && PtInRgn(polygons[i], polygons[k].front())) {
        outer = i;
        ShoreLine.SetBrushColor(kMaskWater);
        ShoreLine.Polygon(polygons[i]);
      }
  for (int i = 0; i < m; ++i) {
    if (i == outer) continue;
    ShoreLine.SetBrushColor(kMaskShore);
    ShoreLine.Polygon(polygons[i]);
  }
}

namespace {

// The band around the pieces of track that leave a reading and have an end
// outside the lake on the mask, drawn as the shadow map draws the tracks.
TCanvas OutsideBand(const TGPXDraw& GPXView, const TCanvas& mask) {
  const int w = mask.Width(), h = mask.Height();
  TCanvas band(w, h);
  band.SetBrushColor(kMaskOutside);
  band.FillRect({0, 0, w, h});
  band.SetPenColor(GPXView.ShadowMapTrackColor);
  band.SetPenWidth(GPXView.ShadowMapTrackWidth);
  const std::uint32_t outside = TCanvas::ToRGB32(kMaskOutside);
  const auto isOutside = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && (mask.ScanLine(y)[x] | 0xFF000000u) == outside;
  };
  for (const TGPXtrk* track : GPXView.GPXd->trk)
    for (const TGPXtrkseg* segment : *track) {
      if (!segment->Enabled()) continue;
      for (int i = 0; i + 1 < segment->Count(); ++i) {
        const TPoint4D2& p = *(*segment)[i];
        const TPoint4D2& q = *(*segment)[i + 1];
        if (!(p.HBdepth > 0) || !std::isfinite(p.Latitude + p.Longitude + q.Latitude + q.Longitude)) continue;
        const int px = GPXView.Point4D2ToX(p), py = GPXView.Point4D2ToY(p);
        const int qx = GPXView.Point4D2ToX(q), qy = GPXView.Point4D2ToY(q);
        if (!isOutside(px, py) && !isOutside(qx, qy)) continue;
        band.MoveTo(px, py);
        band.LineTo(qx, qy);
      }
    }
  band.Flush();
  band.SetBrushColor(kMaskOutside);
  band.FrameRect({0, 0, w, h});
  return band;
}

}  // namespace

TCoverage BuildCoverage(TGPXDraw& GPXView, bool KeepOutside) {
  TCoverage out;
  const int w = GPXView.Width(), h = GPXView.Height();
  TCanvas& shadow = GPXView.ShadowMap;
  // A view never drawn has no shadow map of its size yet: nothing is near a
  // track.
  if (shadow.Width() != w || shadow.Height() != h) shadow.SetSize(w, h);
  shadow.SetBrushColor(kMaskOutside);
  shadow.FrameRect({0, 0, w, h});
  DrawShoreLineMask(GPXView, out.ShoreLine);

  out.ShadowArray.SetSize(w, h);
  if (w == 0 || h == 0) return out;
  const std::uint32_t white = TCanvas::ToRGB32(kMaskOutside);
  const std::uint32_t water = TCanvas::ToRGB32(kMaskWater);
  const std::uint32_t shore = TCanvas::ToRGB32(kMaskShore);
  std::vector<const std::uint32_t*> shadowRows(static_cast<std::size_t>(h)), maskRows(static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    shadowRows[static_cast<std::size_t>(y)] = std::as_const(shadow).ScanLine(y);
    maskRows[static_cast<std::size_t>(y)] = std::as_const(out.ShoreLine).ScanLine(y);
  }
  TCanvas band;
  if (KeepOutside && GPXView.GPXd) band = OutsideBand(GPXView, out.ShoreLine);
  const bool keepOutside = band.Width() == w && band.Height() == h;
  std::vector<const std::uint32_t*> bandRows(keepOutside ? static_cast<std::size_t>(h) : 0);
  for (std::size_t y = 0; y < bandRows.size(); ++y) bandRows[y] = std::as_const(band).ScanLine(static_cast<int>(y));
  for (int x = 0; x < w; ++x) {
    auto column = out.ShadowArray[x];
    float lon = 0;
    bool lonKnown = false;
    for (int y = 0; y < h; ++y) {
      const std::uint32_t mask = maskRows[static_cast<std::size_t>(y)][x] | 0xFF000000u;
      bool covered = (shadowRows[static_cast<std::size_t>(y)][x] | 0xFF000000u) != white && mask == water;
      if (keepOutside && !covered && mask == white)
        covered = (bandRows[static_cast<std::size_t>(y)][x] | 0xFF000000u) != white;
      column[static_cast<std::size_t>(y)] = covered;
      out.Covered += covered;
      if (mask == shore) {
        if (!lonKnown) {
          lon = static_cast<float>(GPXView.XToLo(x));
          lonKnown = true;
        }
        out.ShoreCoord.Add({lon, static_cast<float>(GPXView.YToLa(y))});
        out.ShoreDepth.Add(0.0f);
      }
    }
  }
  out.ShadowMap.SetSize(w, h);
  out.ShadowMap.Draw(0, 0, shadow);
  return out;
}

}  // namespace sondralis
