#pragma once

// The chart tracer: iso-depth lines traced on the interpolated depths
// themselves (marching squares on the grid of pixel centres), so that lines
// of different levels can never cross or touch, as on a printed chart. The
// classic tracer (MovingSquares) follows pixel edges of the coloured picture
// and stays as it is; both give the same kind of contour document.

#include <vector>

#include "contours/ContourTracer.h"
#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardThread.h"
#include "model/Feedback.h"
#include "model/GPX.h"

namespace sondralis {

// A position on the depth grid in pixels: X the column, Y the row (row 0 at
// the north), node (i, j) (the centre of pixel (i, j), where the run computed
// its depth) at exactly (i, j).
struct TChartPoint {
  double X = 0;
  double Y = 0;
  friend bool operator==(const TChartPoint&, const TChartPoint&) = default;
};

// One contour line. Walking along it, deeper water lies on the left as seen
// on the map (north up), as with the classic tracer.
struct TChartLine {
  int Level = 0;        // centimetres
  bool Closed = false;  // a ring: the last point is the first point again, bit for bit
  std::vector<TChartPoint> Points;
};

struct TChartOptions {
  // Closed rings shorter than this many pixels of perimeter are dropped:
  // the bull's-eyes a single noisy sounding makes. 0 keeps every ring.
  double MinRing = 0;
  // Passes of the one-sided smoothing (ContourSmoothing.h); 0 leaves the
  // lines as traced.
  int Smooth = 0;
  // Thinning: a run of points is replaced by a straight line when none of
  // them lies farther than this many pixels from it (and nothing is
  // crossed). 0 keeps every point.
  double Tolerance = 0;
};

// What a chart run found.
struct TChartContours {
  std::vector<TChartLine> Lines;  // levels ascending; within a level, in the order found
  int RingsDropped = 0;           // rings shorter than MinRing
  int PointsTraced = 0;           // points before smoothing and thinning
};

// The chart's default ring limit in pixels. A ring around a single grid
// node passes the four edges next to it and is at most 4·√2 ≈ 5.7 px long;
// one around two neighbouring nodes stays under 2 + 4·√2 ≈ 7.7 px. Such a
// ring says that one or two pixels' depths stand out from all their
// neighbours: on the interpolated map that is the spike of a single
// sounding (the interpolation keeps a sounding's depth at its own pixel and
// blends it away within a pixel or two), which the unit would show as a dot
// of its own. Anything a few pixels across, a rock or a hole found by
// several soundings, stays.
inline constexpr double kChartMinRing = 8;
// The chart's default thinning in pixels: a thinned line stays within a
// quarter of a pixel of where the depths put it (the classic lines, on the
// pixels' corners, lie half a pixel or more from the depths they stand for),
// and a gently curved line then needs a point only every few pixels.
inline constexpr double kChartTolerance = 0.25;

// The levels of a run: Step, 2·Step, ... up to MaxDepth (centimetres). No
// level 0: the depths never go below it, so there is no line to draw there.
// Empty for a Step below 1 or a MaxDepth below Step.
std::vector<int> ChartLevels(int Step, int MaxDepth);

// Traces every level (ascending, distinct) on Depths: a grid W × H indexed
// [column][row], NaN where nothing was interpolated. A level crosses the edge
// between two neighbouring nodes with depths on either side of it (a node
// exactly at the level counts as shallower), at the place the linear
// interpolation of the two depths gives; a cell whose four nodes are all
// covered is crossed by one segment, or two in a saddle, where the mean of
// the four depths decides which corners belong together. A line ends where
// it reaches a cell with an uncovered node or the border of the grid.
//
// Then drops the short rings (logging how many: "Rings shorter than 8 px
// dropped: 3"), smooths and thins as the options say.
// Only levels that cross some covered cell cost anything: they alone report
// progress, and Feedback's cancellation flag is checked before each of them:
// when it is set, throws TCanceled and nothing is returned.
TChartContours TraceChartContours(const TDepthArray& Depths, const std::vector<int>& Levels,
                                  const TChartOptions& Options, TFeedback& Feedback);

// The geographic position of a grid position: linear between the positions
// of the neighbouring columns and rows.
void ChartPointToLonLat(const TPixelCoordinates& Grid, const TChartPoint& Point, double& Longitude,
                        double& Latitude);

// Appends the lines to the contour document as the classic tracer's tracks
// are: one track per level holding one segment per line, every point with
// its level as depth (HBdepth), on the globe (WrapLongitude, ClampLatitude). Grid holds the positions of the columns and
// rows of the traced depths.
void AddChartContours(TGPX& IsoData, const TChartContours& Contours, const TPixelCoordinates& Grid);

// The length of a line in pixels.
double LineLength(const std::vector<TChartPoint>& Points);

}  // namespace sondralis
