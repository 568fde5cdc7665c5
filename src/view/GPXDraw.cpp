// GPXDraw: the map view TGPXDraw.

#include "view/GPXDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "view/LineRaster.h"

namespace sondralis {

namespace {

// Nearest integer, halves to the even neighbour (nearbyint in the default
// rounding mode), clamped to the range the rasteriser accepts. A value that is
// not a number lands far outside any raster instead of being converted, which
// would be undefined.
long long RoundToPixel(double v) noexcept {
  if (std::isnan(v)) return -kPixelCoordinateLimit;
  const double r = std::nearbyint(v);
  if (r <= -kPixelCoordinateLimit) return -kPixelCoordinateLimit;
  if (r >= kPixelCoordinateLimit) return kPixelCoordinateLimit;
  return static_cast<long long>(r);
}

int ClampToInt(long long v) noexcept {
  return static_cast<int>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

TGPXDraw::TGPXDraw() {
  MouseMode = mmMove;
  nPolygon = -1;
  Clear();
}

TGPXDraw::~TGPXDraw() = default;

// ---------------------------------------------------------------- size

void TGPXDraw::SetWidth(int Value) {
  fWidth = std::max(Value, 0);
  Buffer.SetWidth(fWidth);
  if (ShadowMapEnabled) ShadowMap.SetWidth(fWidth);
}

void TGPXDraw::SetHeight(int Value) {
  fHeight = std::max(Value, 0);
  Buffer.SetHeight(fHeight);
  if (ShadowMapEnabled) ShadowMap.SetHeight(fHeight);
}

void TGPXDraw::Resize(int iWidth, int iHeight) {
  SetWidth(iWidth);
  SetHeight(iHeight);
}

void TGPXDraw::Resize(const TRect& Rect) {
  Resize(ClampToInt(std::llabs(static_cast<long long>(Rect.Right) - Rect.Left)),
         ClampToInt(std::llabs(static_cast<long long>(Rect.Bottom) - Rect.Top)));
}

void TGPXDraw::Clear() {
  BBox.Clear();
  BBox.Aspect = TBBox::kDefaultAspect;
  filled = false;
  MouseMode = mmMove;
  MouseX = MouseY = 0;
  if (GPXd) GPXd->Selection.Clear();
  if (Canvas) {
    Canvas->SetBrushColor(Options.BackGroundColor);
    Canvas->FillRect(ClientRect());
    if (ShadowMapEnabled) {
      ShadowMap.SetBrushColor(clWhite);
      ShadowMap.FillRect(ShadowMap.ClientRect());
    }
    SaveToBuffer();
  }
  SetWidth(0);
  SetHeight(0);
}

// ---------------------------------------------------------------- projection

void TGPXDraw::CalcRm(bool OverSize) {
  if (BBox.E == BBox.O || BBox.N == BBox.S) return;
  const double rx = std::fabs(fWidth / (BBox.E - BBox.O));
  const double ry = std::fabs(fHeight / (BBox.N - BBox.S));
  const double m = (rx / BBox.Aspect >= ry) ? ry : rx / BBox.Aspect;
  const double rm = OverSize ? m / 1.01 : m;
  // An extent so small that the scale overflows (or edges that are not
  // numbers) gives no usable scale; keep the one in use.
  if (!std::isfinite(rx) || !std::isfinite(ry) || !std::isfinite(rm)) return;
  BBox.Rx = rx;
  BBox.Ry = ry;
  BBox.Rm = rm;
}

void TGPXDraw::ResetBBox(bool Center, bool OverSize) {
  // Data without extent fits nothing and leaves the aspect as it was.
  const double aspect = BBox.Aspect;
  BBox.Clear();
  if (GPXd) {
    GPXd->wpt.CalcBBox(true);
    if (GPXd->wpt.BBox.Complete) BBox.Add(GPXd->wpt.BBox);
    for (TGPXrte* route : GPXd->rte) {
      route->CalcBBox(true);
      if (route->BBox.Complete) BBox.Add(route->BBox);
    }
    for (TGPXtrk* track : GPXd->trk)
      for (TGPXtrkseg* segment : *track) {
        segment->CalcBBox(true);
        if (segment->BBox.Complete) BBox.Add(segment->BBox);
      }
  }
  BBox.Aspect = aspect;
  if (BBox.E == BBox.O || BBox.N == BBox.S) return;
  // A pixel as many metres across as up: the cosine of the middle latitude
  // (centring widens the north and the south edge alike, so it stays the
  // middle of the view). Near the poles it is held above 0.01.
  const double middle = (BBox.N + BBox.S) / 2 * std::numbers::pi / 180;
  BBox.Aspect = std::isfinite(middle) ? std::clamp(std::cos(middle), 0.01, 1.0) : TBBox::kDefaultAspect;
  CalcRm(OverSize);
  if (BBox.Rm == 0) return;
  if (Center) {
    // Free columns and rows on each side: (rounded surplus) div 2.
    const long long freeX = RoundToPixel(fWidth - (BBox.E - BBox.O) * BBox.Rm * BBox.Aspect);
    const long long freeY = RoundToPixel(fHeight - (BBox.N - BBox.S) * BBox.Rm);
    const double dx = static_cast<double>(std::llabs(freeX / 2));
    const double dy = static_cast<double>(std::llabs(freeY / 2));
    BBox.N = BBox.N + dy / BBox.Rm;
    BBox.S = BBox.S - dy / BBox.Rm;
    BBox.O = BBox.O - dx / (BBox.Rm * BBox.Aspect);
    BBox.E = BBox.E + dx / (BBox.Rm * BBox.Aspect);
  }
  BBox.Complete = true;
}

double TGPXDraw::XToLo(int X) const {
  if (BBox.Rm == 0) return 0;
  return X / BBox.Rm / BBox.Aspect + BBox.O;
}

double TGPXDraw::YToLa(int Y) const {
  if (BBox.Rm == 0) return 0;
  return (fHeight - static_cast<double>(Y)) / BBox.Rm + BBox.S;
}

int TGPXDraw::LoToX(double Longitude) const {
  return static_cast<int>(RoundToPixel((Longitude - BBox.O) * BBox.Rm * BBox.Aspect));
}

int TGPXDraw::LaToY(double Latitude) const {
  return ClampPixelCoordinate(fHeight - RoundToPixel((Latitude - BBox.S) * BBox.Rm));
}

bool TGPXDraw::IsOnScreen(const TPoint4D2& Point4D) const {
  const int x = Point4D2ToX(Point4D);
  const int y = Point4D2ToY(Point4D);
  return x >= 0 && x <= fWidth && y >= 0 && y <= fHeight;
}

// ---------------------------------------------------------------- buffers

void TGPXDraw::SaveToBuffer() {
  if (!Canvas) return;
  Buffer.CopyRect(ClientRect(), *Canvas, ClientRect());
}

void TGPXDraw::LoadFromBuffer() {
  if (!Canvas) return;
  Canvas->CopyRect(ClientRect(), Buffer, ClientRect());
}

void TGPXDraw::DrawSelectionRect(int X1, int Y1, int X2, int Y2, TColor Color) {
  LoadFromBuffer();
  if (!Canvas) return;
  Canvas->SetPenColor(Color);
  Canvas->SetPenWidth(1);
  const TPoint outline[] = {{X1, Y1}, {X1, Y2}, {X2, Y2}, {X2, Y1}, {X1, Y1}};
  Canvas->Polyline(outline);
}

void TGPXDraw::DrawMouseSelectionRectTo(int X2, int Y2, TColor Color) {
  DrawSelectionRect(MouseX, MouseY, X2, Y2, Color);
}

// ---------------------------------------------------------------- zoom and pan

bool TGPXDraw::RectToGeo(const TRect& Rect, double& n, double& s, double& e, double& o) {
  const int top = std::max(Rect.Top, Rect.Bottom), bottom = std::min(Rect.Top, Rect.Bottom);
  const int right = std::max(Rect.Left, Rect.Right), left = std::min(Rect.Left, Rect.Right);
  n = YToLa(ClampToInt(static_cast<long long>(fHeight) - top));
  s = YToLa(ClampToInt(static_cast<long long>(fHeight) - bottom));
  e = XToLo(right);
  o = XToLo(left);
  return !(e == o || n == s);
}

bool TGPXDraw::ZoomTo(const TRect& ZoomRect) {
  if (!BBox.Complete) return false;
  if (BBox.Rm == 0) CalcRm(false);
  double n, s, e, o;
  if (!RectToGeo(ZoomRect, n, s, e, o)) return false;
  BBox.N = n;
  BBox.S = s;
  BBox.E = e;
  BBox.O = o;
  CalcRm(false);
  return true;
}

bool TGPXDraw::ZoomIn() {
  const int a = static_cast<int>(fWidth * 0.15 / 2);
  const int b = static_cast<int>(fHeight * 0.15 / 2);
  return ZoomTo({a, fHeight - b, fWidth - a, b});
}

bool TGPXDraw::ZoomOut() {
  const int a = static_cast<int>(fWidth * 0.15 / 2);
  const int b = static_cast<int>(fHeight * 0.15 / 2);
  return ZoomTo({-a, fHeight + b, fWidth + a, -b});
}

bool TGPXDraw::ZoomAbout(int X, int Y, double Factor) {
  if (!BBox.Complete || BBox.Rm == 0 || fWidth <= 0 || fHeight <= 0) return false;
  if (!(Factor > 0) || !std::isfinite(Factor)) return false;
  const double rm = BBox.Rm / Factor;
  if (!std::isfinite(rm) || rm <= 0) return false;
  // Computed in degrees rather than through a pixel rectangle, so the
  // position under the mouse does not drift by a rounded pixel per step.
  const double lon = XToLo(X), lat = YToLa(Y);
  BBox.O = lon - X / (rm * BBox.Aspect);
  BBox.S = lat - (fHeight - static_cast<double>(Y)) / rm;
  BBox.E = BBox.O + fWidth / (rm * BBox.Aspect);
  BBox.N = BBox.S + fHeight / rm;
  CalcRm(false);
  return true;
}

bool TGPXDraw::ZoomMouseTo(int X, int Y) {
  return ZoomTo({std::min(X, MouseX), fHeight - std::min(Y, MouseY), std::max(X, MouseX),
                 fHeight - std::max(Y, MouseY)});
}

void TGPXDraw::MoveFromTo(int X1, int Y1, int X2, int Y2) {
  ZoomTo({X1 - X2, Y2 - Y1, X1 - X2 + fWidth, Y2 - Y1 + fHeight});
}

void TGPXDraw::MoveMouseTo(int X2, int Y2) {
  if (MouseX != 0 || MouseY != 0) MoveFromTo(MouseX, MouseY, X2, Y2);
  MouseX = X2;
  MouseY = Y2;
}

// ---------------------------------------------------------------- drawing

void TGPXDraw::Redraw() {
  if (!Canvas || !GPXd) return;
  Canvas->SetBrushColor(Options.BackGroundColor);
  Canvas->FillRect(ClientRect());
  if (ShadowMapEnabled) {
    ShadowMap.SetSize(fWidth, fHeight);
    ShadowMap.SetBrushColor(clWhite);
    ShadowMap.FillRect(ShadowMap.ClientRect());
  }
  for (TGPXrte* route : GPXd->rte)
    if (route->Enabled()) DrawPointList(*route, Options.RouteColor);
  for (TGPXtrk* track : GPXd->trk)
    for (TGPXtrkseg* segment : *track)
      if (segment->Enabled()) DrawPointList(*segment, Options.TrackColor);
  for (int i = 0; i < GPXd->wpt.Count(); ++i) {
    const TGPXwpt* waypoint = GPXd->wpt.WayPoints(i);
    if (waypoint->enabled) DrawPoint4D(waypoint, Options.WayPointColor, 0, waypoint->sym());
  }
  if (ShadowMapEnabled) ShadowMap.Flush();
  SaveToBuffer();
}

bool TGPXDraw::DrawPointList(const TPointList2& Track, TColor Color) {
  return DrawPointList(Track, 0, Track.Count() - 1, Color);
}

bool TGPXDraw::DrawPointList(const TPointList2& Track, int pFrom, int PTo, TColor /*Color*/) {
  if (Track.Count() == 0 || !BBox.Complete || !Canvas) return false;
  pFrom = std::max(pFrom, 0);
  PTo = std::min(PTo, Track.Count() - 1);
  if (pFrom > PTo) return false;

  Canvas->SetPenWidth(TrackWidth);
  if (ShadowMapEnabled) {
    ShadowMap.SetPenColor(ShadowMapTrackColor);
    ShadowMap.SetPenWidth(ShadowMapTrackWidth);
  }
  // A point whose coordinates are not numbers has no pixel: the segments
  // that touch it are left out.
  auto usable = [](const TPoint4D2& point) {
    return std::isfinite(point.Latitude) && std::isfinite(point.Longitude);
  };
  const auto points = Track.begin();
  const TPoint4D2* p = points[pFrom];
  int px = Point4D2ToX(*p), py = Point4D2ToY(*p);
  bool pUsable = usable(*p);
  for (int i = pFrom + 1; i <= PTo; ++i) {
    const TPoint4D2* q = points[i];
    const int qx = Point4D2ToX(*q), qy = Point4D2ToY(*q);
    const bool qUsable = usable(*q);
    if ((qx != px || qy != py || i == PTo) && pUsable && qUsable) {
      // The segment takes the colour of the depth at its start; only
      // segments that start at a reading go onto the shadow map.
      const double depth = p->HBdepth;
      const bool hasDepth = depth > 0;
      TColor color = DepthColorShallow;
      if (hasDepth) color = BlendColors(DepthColorShallow, DepthColorDeep, MaxDepth == 0 ? 1.0 : depth / MaxDepth);
      Canvas->SetPenColor(color);
      Canvas->MoveTo(px, py);
      Canvas->LineTo(qx, qy);
      if (hasDepth && ShadowMapEnabled) {
        ShadowMap.MoveTo(px, py);
        ShadowMap.LineTo(qx, qy);
      }
    }
    p = q;
    px = qx;
    py = qy;
    pUsable = qUsable;
  }
  return true;
}

bool TGPXDraw::DrawPoint4D(const TPoint4D2* Point4D, TColor Color, int /*Shape*/, std::string_view /*Symbol*/) {
  if (!Point4D || !Canvas || !IsOnScreen(*Point4D)) return false;
  Canvas->SetPenColor(Color);
  const int savedWidth = Canvas->PenWidth();
  Canvas->SetPenWidth(1);
  Canvas->SetBrushColor(Options.WayPointColor);
  const int x = Point4D2ToX(*Point4D), y = Point4D2ToY(*Point4D);
  const TPoint square[] = {{x - 3, y - 3}, {x - 3, y + 3}, {x + 3, y + 3}, {x + 3, y - 3}, {x - 3, y - 3}};
  Canvas->Polyline(square);
  Canvas->SetPenWidth(savedWidth);
  return true;
}

// ---------------------------------------------------------------- shoreline rings

void TGPXDraw::GenerateAllShorelinePolygons() {
  if (!Canvas || !GPXd) return;
  ShorelinePolygons.clear();
  nPolygon = -1;
  for (TGPXtrk* track : GPXd->trk)
    for (TGPXtrkseg* segment : *track) GenerateShorelinePolygons(*segment);
}

bool TGPXDraw::GenerateShorelinePolygons(const TPointList2& Track) {
  if (Track.Count() == 0 || !BBox.Complete) return false;
  for (const TPoint4D2* point : Track)
    if (point->HBdepth != 0 && !std::isnan(point->HBdepth)) return false;

  ShorelinePolygons.emplace_back();
  nPolygon = static_cast<int>(ShorelinePolygons.size()) - 1;
  std::vector<TPoint>& ring = ShorelinePolygons.back();
  ring.reserve(static_cast<std::size_t>(Track.Count()) + 1);
  // The ring starts with the last point, runs through all points and ends
  // with the last point again; repeats of one pixel are entered once.
  const int last = Track.Count() - 1;
  const auto points = Track.begin();
  TPoint p{Point4D2ToX(*points[last]), Point4D2ToY(*points[last])};
  for (int i = 0; i <= last; ++i) {
    const TPoint q{Point4D2ToX(*points[i]), Point4D2ToY(*points[i])};
    if (ring.empty()) ring.push_back(p);
    if (q != p || i == last) ring.push_back(q);
    p = q;
  }
  return true;
}

// ---------------------------------------------------------------- area cutter

void TGPXDraw::CutterMouseTo(int X, int Y, bool OnlySelected, bool Outside) {
  CutterTo({std::min(X, MouseX), fHeight - std::min(Y, MouseY), std::max(X, MouseX), fHeight - std::max(Y, MouseY)},
           OnlySelected, Outside);
}

void TGPXDraw::CutterTo(const TRect& CutterRect, bool OnlySelected, bool Outside) {
  if (!BBox.Complete || !GPXd) return;
  if (BBox.Rm == 0) CalcRm(false);
  double n, s, e, o;
  if (!RectToGeo(CutterRect, n, s, e, o)) return;

  const double latLo = std::min(s, n), latHi = std::max(s, n);
  const double lonLo = std::min(o, e), lonHi = std::max(o, e);
  // Inside and outside are both strict: a point on an edge is never hit.
  auto hit = [&](const TPoint4D2* point) {
    if (!Outside) return point->IsInBox(e, o, s, n);
    return point->Latitude < latLo || point->Latitude > latHi || point->Longitude < lonLo ||
           point->Longitude > lonHi;
  };
  const TGPXSelection& selection = GPXd->Selection;
  auto chosen = [&](const void* item) { return !OnlySelected || selection.IsInSelection(item); };
  auto cutPoints = [&](TPointList2& list, bool listChosen) {
    for (int i = list.Count() - 1; i >= 0; --i) {
      const TPoint4D2* point = list[i];
      if ((listChosen || chosen(point)) && hit(point)) list.FreeAndDelete(i);
    }
  };

  cutPoints(GPXd->wpt, !OnlySelected);

  for (int r = GPXd->rte.Count() - 1; r >= 0; --r) {
    TGPXrte* route = GPXd->rte[r];
    const bool routeChosen = chosen(route);
    cutPoints(*route, routeChosen);
    if (routeChosen && route->Count() == 0) GPXd->rte.FreeAndDelete(r);
  }

  for (int t = GPXd->trk.Count() - 1; t >= 0; --t) {
    TGPXtrk* track = GPXd->trk[t];
    const bool trackChosen = chosen(track);
    for (int g = track->Count() - 1; g >= 0; --g) {
      TGPXtrkseg* segment = (*track)[g];
      const bool segmentChosen = trackChosen || chosen(segment);
      cutPoints(*segment, segmentChosen);
      if (segmentChosen && segment->Count() == 0) track->FreeAndDelete(g);
    }
    if (trackChosen && track->Count() == 0) GPXd->trk.FreeAndDelete(t);
  }

  // What was cut is destroyed: nothing may keep referring to it.
  GPXd->Selection.Clear();
}

}  // namespace sondralis
