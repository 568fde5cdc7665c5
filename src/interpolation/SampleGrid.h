#pragma once

#include <cstddef>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "interpolation/CommonTypes.h"
#include "interpolation/ShepardInterp.h"
#include "interpolation/ShepardThread.h"
#include "model/Feedback.h"
#include "view/GPXDraw.h"

namespace sondralis {

// A bad samples file or grid request; the message says where and why.
class EGridError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Depth samples from a CSV text whose first line is the header
// "lon,lat,depth"; every other non-blank line holds three numbers, read as
// 32-bit floats as the interpolation stores them. Name is used in messages
// ("samples.csv:12: ..."). Throws EGridError.
void ReadSamplesCSV(std::string_view Text, const std::string& Name, TPointList& Coord, TValueList& Depth);
// The same from a stream, read line by line: the header is checked before
// anything else is read, and a line longer than kMaxSampleLineLength bytes
// is refused, so no input (a device that never ends a line) makes it grow
// without bound other than by its samples.
void ReadSamplesCSV(std::istream& In, const std::string& Name, TPointList& Coord, TValueList& Depth);
inline constexpr std::size_t kMaxSampleLineLength = 4096;

// Samples as ReadSamplesCSV reads them: the header line, then one line
// "lon,lat,depth" per sample. Each 32-bit value is written as the shortest
// decimal that reads back as the same double, so a reader working in double
// precision gets exactly the run's samples, and ReadSamplesCSV the same
// 32-bit floats.
std::string EncodeSamplesCSV(const TPointList& Coord, const TValueList& Depth);

// The rectangle a grid covers, in degrees.
struct TGridExtent {
  double MinLon = 0, MinLat = 0, MaxLon = 0, MaxLat = 0;
  double CellWidth(int Columns) const { return (MaxLon - MinLon) / Columns; }
  double CellHeight(int Rows) const { return (MaxLat - MinLat) / Rows; }
};

// The grid of a map view: one cell per pixel, the centre of cell (x, y) at
// the pixel's position (XToLo(x), YToLa(y)), row 0 at the north. An empty
// extent while the view has no scale or no pixels.
TGridExtent ViewGridExtent(const TGPXDraw& View);

// The nodes of a Columns × Rows grid over Extent: node (i, j) is the centre of
// cell (i, j), longitude MinLon + (i + ½)·dx, latitude MaxLat − (j + ½)·dy,
// row 0 at the north. The interpolation run queries the pixels of the map
// view at the nodes of its ViewGridExtent (the pixels' positions to the last
// bit or so), and `grid` at those of the extent it is given: the same
// extent gives the same nodes to the last bit, so a depth grid can be made
// again exactly from its samples.
TPixelCoordinates GridNodes(const TGridExtent& Extent, int Columns, int Rows);

// Shepard interpolation of the samples at every node of a Columns × Rows
// grid over Extent, without a mask, with the fast kernel and the workers of
// the interpolation run. Node (i, j) is the centre of cell (i, j), row 0 at
// the north: longitude MinLon + (i + ½)·dx, latitude MaxLat − (j + ½)·dy.
// The result is indexed [column][row]. With Tolerance > 0 (in the depths'
// unit) each node is within Tolerance of Shepard's mean over all samples
// and only the samples near it are summed (powers from kBoundedMinPower
// on); 0 is the exact mean. The workers' log lines and progress go to the
// feedback. Throws EGridError for an empty sample set or a degenerate grid,
// and TCanceled when the feedback was cancelled.
TDepthArray GridSamples(const TPointList& Coord, const TValueList& Depth, const TGridExtent& Extent, int Columns,
                        int Rows, int Power, int Threads, TFeedback& Feedback, double Tolerance = 0);

// The grid as an Esri ASCII grid (ncols, nrows, xllcorner, yllcorner, dx, dy,
// NODATA_value, then the rows from the north), every number with 17
// significant digits so that each double reads back unchanged. Values that
// are not finite are written as NODATA_value.
std::string EncodeEsriAsciiGrid(const TDepthArray& Grid, const TGridExtent& Extent);

// The projection file beside such a grid: geographic WGS 84 in degrees.
extern const char* const kWGS84Prj;

}  // namespace sondralis
