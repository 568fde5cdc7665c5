#pragma once

// depth.tif: the depth grid for GIS programs (QGIS, ArcGIS) with one cell
// size per axis, unlike the Esri ASCII grid, whose dx/dy header ArcGIS does
// not read.

#include <string>

#include "exports/ExportGrid.h"
#include "exports/SoundingDistance.h"
#include "model/Feedback.h"

namespace sondralis {

// Writes the grid as a GeoTIFF to Path, atomically: band 1 "depth_cm", the
// depth in centimetres as Float32; band 2 "distance_m", each covered cell's
// distance to the nearest sounding in metres (Distances, as
// NearestSoundingDistances gives them; an empty array leaves the band
// without values). Cells not covered are NaN, the nodata value. Geographic
// WGS 84 (EPSG:4326) with the geotransform of the grid's extent (the same
// origin and cell sizes as depth.asc), tiled 256 × 256 and DEFLATE
// compressed with the floating-point predictor. Throws EFileError, and
// std::invalid_argument for a grid that does not hold together.
void WriteDepthGeoTIFF(const std::string& Path, const TExportGrid& Grid, const TDistanceArray& Distances,
                       TFeedback& Feedback);

}  // namespace sondralis
