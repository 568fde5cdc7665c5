#pragma once

// The GDAL exports reach GDAL through a module of their own
// (libsondralis_gdal.so), loaded the first time one of them is made:
// GDAL brings about a hundred shared libraries with it, and loading them at
// every start would cost each run of sondralis-cli and each launch of the
// window more than the run itself often takes.
//
// The module holds only the code that talks to GDAL; everything it needs
// comes in as plain data (grids, geotransforms, lines, options) and goes out
// as the bytes of the files it made, handed to a callback that publishes
// them while they are still in GDAL's memory. It links none of the core's
// libraries: TFeedback is used through its header alone.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/Feedback.h"

namespace sondralis::gdal {

// Raised whenever the structs or the calls below change: a module of
// another build is refused rather than called.
inline constexpr int kModuleInterface = 1;

// The module's entry point, extern "C": the module for this interface and
// version, or null.
inline constexpr const char* kModuleEntry = "SondralisGdalModule";

// How a call of the module ended. A failure reads "Can't write TARGET: What
// (Detail)", without the parentheses when GDAL said nothing.
struct TOutcome {
  enum class EStatus { Done, Failed, Canceled };
  EStatus Status = EStatus::Done;
  std::string What;
  std::string Detail;
};

// Files the module made, by name, handed over before they leave its memory.
using TMadeFiles = std::vector<std::pair<std::string, std::string_view>>;
using TPublish = std::function<void(const TMadeFiles& Files)>;

// A GDAL geotransform: origin x, cell width, 0, origin y, 0, -cell height.
using TGeoTransform = std::array<double, 6>;

// depth.tif: two Float32 bands of Columns × Rows in WGS 84, tiled and
// compressed. FillBand(band, values) writes band 1 or 2 into values, row
// after row; it is asked for each band in turn.
struct TGeoTIFFRequest {
  int Columns = 0, Rows = 0;
  TGeoTransform Transform{};
  std::string Software;
  std::function<void(int Band, std::vector<float>& Values)> FillBand;
};

// A line feature: a level in centimetres and its lines, each of two points
// or more as longitude, latitude pairs.
struct TLineFeature {
  long long Level = 0;
  std::vector<std::vector<double>> Lines;
};

struct TLineLayer {
  std::string Name;
  std::string Description;  // none when empty
  std::vector<TLineFeature> Features;
};

// contours.gpkg: the contour layer, the soundings as points with their
// depth, and a safety layer when HasSafety.
struct TGeoPackageRequest {
  std::string FileName;
  TLineLayer Contours;
  std::span<const std::array<float, 2>> SoundingCoord;
  std::span<const float> SoundingDepth;
  bool HasSafety = false;
  TLineLayer Safety;
};

// chart.mbtiles: a picture of 8-bit blue, green, red, alpha pixels (Qt's
// ARGB32 on a little-endian machine) in web mercator, the finest zoom
// level; the coarser ones are averaged from it down to MinZoom.
struct TMBTilesRequest {
  const std::uint8_t* Pixels = nullptr;
  int Width = 0, Height = 0;
  long long BytesPerLine = 0;
  std::vector<std::pair<std::string, std::string>> Options;  // the driver's creation options, in order
  TGeoTransform Transform{};
  std::vector<int> OverviewFactors;
  int MinZoom = 0;
};

// GDAL's hillshade of a Float32 grid of Columns × Rows, row after row.
struct THillshadeRequest {
  int Columns = 0, Rows = 0;
  std::span<const float> Values;
  float NoData = 0;
  TGeoTransform Transform{};
  std::vector<std::string> Arguments;  // gdaldem's, after "hillshade"
};

class IModule {
 public:
  virtual TOutcome GeoTIFF(const TGeoTIFFRequest& Request, TFeedback& Feedback, const TPublish& Publish) const = 0;
  virtual TOutcome GeoPackage(const TGeoPackageRequest& Request, TFeedback& Feedback,
                              const TPublish& Publish) const = 0;
  // The shapefile set of Layer, its files named after the layer.
  virtual TOutcome Shapefile(const TLineLayer& Layer, TFeedback& Feedback, const TPublish& Publish) const = 0;
  virtual TOutcome MBTiles(const TMBTilesRequest& Request, TFeedback& Feedback, const TPublish& Publish) const = 0;
  // The shade, row after row, one byte a cell: 0 where there is none.
  virtual TOutcome Hillshade(const THillshadeRequest& Request, std::vector<std::uint8_t>& Shade) const = 0;

 protected:
  ~IModule() = default;
};

// The module, loaded on the first call. Throws EFileError "Can't write
// NAME: ..." (NAME the file name of Target) naming the module and why it
// could not be loaded; the failure is remembered, so later calls give the
// same answer at once.
const IModule& Module(const std::string& Target);

// Returns for a call that is done; throws TCanceled for one that was
// cancelled, EFileError "Can't write TARGET: ..." for one that failed.
void Check(const TOutcome& Outcome, const std::string& Target);

}  // namespace sondralis::gdal
