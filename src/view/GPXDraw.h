// GPXDraw: TGPXDraw, the map view (projection, fit and zoom, drawing of
// tracks, the shadow map and the shoreline rings, the area cutter).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/ColorInterpolate.h"
#include "model/GPS.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/DrawOptions.h"
#include "view/PixelTypes.h"

namespace sondralis {

// The mouse tools of a map view: mmMove pans, mmZoom spans a rectangle to
// zoom to, mmCutter spans a rectangle whose points are removed. (The
// original design listed a dozen more tools that nothing ever armed.)
enum TMouseMode : int {
  mmMove,
  mmZoom,
  mmCutter,
};

// The map view: shows one GPX document on a raster of Width × Height pixels
// and owns the projection between coordinates and pixels.
//
// The projection is equirectangular with an aspect factor C = BBox.Aspect:
// one degree of latitude is Rm pixels, one degree of longitude Rm · C
// pixels; column 0 is longitude BBox.O and row Height (one below the last
// row) latitude BBox.S; x grows eastwards, y southwards. C is the cosine of
// the latitude in the middle of the view, set by each fit (ResetBBox) and
// kept by zooms, pans and resizes, so a pixel covers as many metres across
// as up wherever the lake lies. Everything drawn in the pixel grid of the
// source view (coverage mask, interpolated image, contours) maps pixel
// (x, y) back with XToLo(x), YToLa(y).
//
// Rectangles given to ZoomTo and CutterTo use an upward vertical axis: Top
// and Bottom are Height − row, Left and Right columns, corners in any order.
class TGPXDraw {
 public:
  TGPXDraw();
  TGPXDraw(const TGPXDraw&) = delete;
  TGPXDraw& operator=(const TGPXDraw&) = delete;
  virtual ~TGPXDraw();

 private:
  int fWidth = 0;
  int fHeight = 0;
  int nPolygon = -1;  // index of the last ring in ShorelinePolygons

 public:
  TCanvas* Canvas = nullptr;  // the surface drawn on; not owned
  TCanvas Buffer;             // the last finished picture, restored under the rubber band
  TCanvas ShadowMap;          // coverage raster: track lines with depth, drawn wide
  // Shoreline rings in pixels of the view at the time they were made.
  std::vector<std::vector<TPoint>> ShorelinePolygons;
  TGPX* GPXd = nullptr;  // the document shown; not owned
  bool filled = false;
  TBBox BBox;  // visible rectangle and scale
  int MouseX = 0, MouseY = 0;  // anchor of the current mouse gesture
  TMouseMode MouseMode = mmMove;
  TDrawOptions Options;
  int TrackWidth = 2;                   // pen width of route and track lines
  TColor DepthColorShallow = clRed;     // depth 0 and lines without a depth reading
  TColor DepthColorDeep = clBlue;      // MaxDepth and deeper
  bool ShadowMapEnabled = false;        // keep and draw ShadowMap
  int ShadowMapTrackWidth = 30;         // pen width on the shadow map
  TColor ShadowMapTrackColor = clBlack; // pen colour on the shadow map
  int MaxDepth = 1500;                  // centimetres that map to the deep colour

  int Width() const noexcept { return fWidth; }
  int Height() const noexcept { return fHeight; }
  // Also sizes Buffer and, with ShadowMapEnabled, ShadowMap.
  void SetWidth(int Value);
  void SetHeight(int Value);
  TRect ClientRect() const noexcept { return {0, 0, fWidth, fHeight}; }
  void Resize(int iWidth, int iHeight);
  void Resize(const TRect& Rect);

  // The aspect factor C in use (BBox.Aspect).
  double Aspect() const noexcept { return BBox.Aspect; }

  // Empties the view: no rectangle, size 0, the default aspect factor, mode
  // mmMove, anchor 0; paints the canvas and the shadow map blank and empties
  // the document's selection. Canvas and document stay attached.
  void Clear();

  // Recomputes Rx, Ry and Rm from the rectangle and the raster size; with
  // OverSize a margin of about half a percent stays free on each side.
  void CalcRm(bool OverSize);
  // Fits the view to the whole document; with Center the surplus is split
  // evenly on both sides. The aspect factor becomes the cosine of the
  // latitude in the middle of the data, which centring keeps the middle of
  // the view.
  void ResetBBox(bool Center, bool OverSize);

  double XToLo(int X) const;
  double YToLa(int Y) const;
  int LoToX(double Longitude) const;
  int LaToY(double Latitude) const;
  int Point4D2ToX(const TPoint4D2& Point4D) const { return LoToX(Point4D.Longitude); }
  int Point4D2ToY(const TPoint4D2& Point4D) const { return LaToY(Point4D.Latitude); }
  // 0 <= x <= Width and 0 <= y <= Height: one pixel beyond the last column
  // or row still counts.
  bool IsOnScreen(const TPoint4D2& Point4D) const;

  // Canvas → Buffer; and Buffer back onto the canvas.
  void SaveToBuffer();
  void LoadFromBuffer();

  // True when the view changed.
  bool ZoomTo(const TRect& ZoomRect);
  bool ZoomMouseTo(int X, int Y);
  bool ZoomIn();
  bool ZoomOut();
  // Scales the view by Factor about pixel (X, Y), which keeps showing the
  // same position; a Factor below 1 shows less area. False, unchanged, for a
  // view without a scale or a Factor that is not a positive number.
  bool ZoomAbout(int X, int Y, double Factor);
  // Pans so that the content under (X1, Y1) moves to (X2, Y2).
  void MoveFromTo(int X1, int Y1, int X2, int Y2);
  // Pans from the anchor to (X2, Y2) and moves the anchor there; an anchor
  // at (0, 0) counts as none.
  void MoveMouseTo(int X2, int Y2);

  // Restores the clean picture and draws the rubber band over it.
  void DrawSelectionRect(int X1, int Y1, int X2, int Y2, TColor Color);
  void DrawMouseSelectionRectTo(int X2, int Y2, TColor Color);

  // Paints background, routes, track segments and waypoints, the shadow map
  // with ShadowMapEnabled, and saves the picture to the buffers. Does nothing
  // without a canvas and a document.
  void Redraw();
  // Draws points pFrom .. PTo as a line coloured by the depth at the start of
  // each segment; segments starting at a point with a depth also go onto the
  // shadow map. Color does not colour the line. False when nothing could be
  // drawn (no points in range, or no rectangle).
  bool DrawPointList(const TPointList2& Track, int pFrom, int PTo, TColor Color);
  bool DrawPointList(const TPointList2& Track, TColor Color);
  // A waypoint square (shape 0); false for an absent or off-screen point.
  bool DrawPoint4D(const TPoint4D2* Point4D, TColor Color, int Shape, std::string_view Symbol);

  // Rebuilds ShorelinePolygons from all track segments of the document.
  void GenerateAllShorelinePolygons();
  // Appends the ring of a list without any depth reading; true when it did.
  bool GenerateShorelinePolygons(const TPointList2& Track);

  // Removes every waypoint, route point and track point strictly inside the
  // rectangle (or, with Outside, strictly outside it), and then every route,
  // segment and track left empty. With OnlySelected only items in the
  // document's selection are cut. The document's selection is emptied.
  void CutterTo(const TRect& CutterRect, bool OnlySelected, bool Outside);
  void CutterMouseTo(int X, int Y, bool OnlySelected, bool Outside);

 private:
  // Converts a geographic rectangle edge set from a screen rectangle; false
  // when the rectangle has no extent.
  bool RectToGeo(const TRect& Rect, double& n, double& s, double& e, double& o);
};

}  // namespace sondralis
