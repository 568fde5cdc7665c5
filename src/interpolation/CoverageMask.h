#pragma once

#include <span>

#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardInterp.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"
#include "view/PixelTypes.h"

namespace sondralis {

// Colours of the shoreline mask.
inline constexpr TColor kMaskOutside = 0xFFFFFF;  // white: outside the lake
inline constexpr TColor kMaskWater = 0xFF0000;    // blue: water
inline constexpr TColor kMaskShore = 0x0000FF;    // red: shoreline outlines and islands

// Whether pixel P lies inside the polygon, by counting the edges crossed on
// either side of P along its row. An edge counts when P.y lies in the
// half-open span from one end's y (included) to the other's (excluded), so a
// vertex on P's row is counted once and horizontal edges never. Inside means
// an odd number of crossings to the left and an odd number to the right; a
// crossing exactly at P counts on neither side, so points on a left or right
// edge are outside. The polygon is closed from its last vertex to its first
// when they differ.
bool PtInRgn(std::span<const TPoint> Polygon, TPoint P);

// Paints the shoreline mask of the view onto ShoreLine, sized to the view:
// without shoreline rings everything is water; otherwise the background is
// outside the lake, the lake is the ring with the highest index that
// contains the first vertex of another ring, and every other ring is an
// island. Every outline is shore. Rebuilds GPXView.ShorelinePolygons.
void DrawShoreLineMask(TGPXDraw& GPXView, TCanvas& ShoreLine);

// The coverage of the view: which pixels are interpolated, and the shoreline
// as depth-0 samples.
struct TCoverage {
  TBooleanArray ShadowArray;  // W columns × H rows; true = interpolated
  TCanvas ShoreLine;          // the shoreline mask
  TCanvas ShadowMap;          // copy of the track shadow map, with its white border
  TPointList ShoreCoord;      // one sample per shore pixel, column by column, top to bottom
  TValueList ShoreDepth;      // 0 for each
  int Covered = 0;            // pixels set in ShadowArray
};

// Builds the coverage of the view as it was last drawn: a pixel is covered
// when the track shadow map is not white there (the band around the depth
// tracks), it is not on the one-pixel border of the view, and the shoreline
// mask says water. Frames the view's shadow map with that white border and
// rebuilds its shoreline rings; changes nothing else.
//
// KeepOutside maps soundings that lie outside the shoreline too: a pixel
// outside the lake (white on the mask) is also covered when it lies within
// the band of a piece of track that starts at a reading and has an end
// outside the lake, as it would be without any shoreline. Bands of tracks
// on the water do not spill onto the land beside them, and shoreline and
// island pixels stay samples, never covered.
TCoverage BuildCoverage(TGPXDraw& GPXView, bool KeepOutside = false);

}  // namespace sondralis
