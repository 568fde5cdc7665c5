#pragma once

// The contour lines and the soundings as vector layers for GIS programs: a
// GeoPackage that holds the whole survey for QGIS, and a shapefile set of
// the lines for older tools.

#include <optional>
#include <string>

#include "exports/ExportGrid.h"
#include "model/Feedback.h"
#include "model/GPX.h"

namespace sondralis {

// A contour track's level in centimetres: the depth of its first point, as
// the tracer gives every point of a track its level.
long long ContourLevel(const TGPXtrk& Track);

// The safety contour: the lines traced at the safety depth.
struct TSafetyContour {
  const TGPX* Lines = nullptr;
  int Depth = 0;  // centimetres
};

// Writes Path (contours.gpkg) atomically: a line layer "contours" with one
// feature per contour track (a multi-line of its segments of two points or
// more; a track without such a segment is left out) and the fields
// depth_cm (integer) and depth_m (real); a point layer "soundings" with one
// feature per sample in the run's order and its depth_cm (real: a sample's
// depth is kept as the run used it); and, when Safety is given, a line
// layer "safety" of its lines with the same fields. Every layer in WGS 84
// (EPSG:4326), with a spatial index. Throws EFileError.
void WriteContoursGeoPackage(const std::string& Path, const TGPX& Contours, const TExportSamples& Samples,
                             const std::optional<TSafetyContour>& Safety, TFeedback& Feedback);

// Writes the contour lines as a shapefile set: Path names the .shp file
// (contours.shp), and the .shx, .dbf, .prj and .cpg files of the same name
// go beside it; the features and fields are those of the GeoPackage's
// "contours" layer. Every file is replaced only when all of them are
// complete. Throws EFileError, and std::invalid_argument when Path does not
// end in ".shp".
void WriteContoursShapefile(const std::string& Path, const TGPX& Contours, TFeedback& Feedback);

}  // namespace sondralis
