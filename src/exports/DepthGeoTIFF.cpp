#include "exports/DepthGeoTIFF.h"

#include <limits>
#include <stdexcept>
#include <vector>

#include "exports/FileSet.h"
#include "exports/GdalModule.h"

namespace sondralis {

void WriteDepthGeoTIFF(const std::string& Path, const TExportGrid& Grid, const TDistanceArray& Distances,
                       TFeedback& Feedback) {
  Grid.Check();
  const int columns = Grid.Columns(), rows = Grid.Rows();
  if (!Distances.Empty() && (Distances.Width() != columns || Distances.Height() != rows))
    throw std::invalid_argument("the distances are not of the depth grid's size");
  const gdal::IModule& module = gdal::Module(Path);

  gdal::TGeoTIFFRequest request;
  request.Columns = columns;
  request.Rows = rows;
  request.Transform = {Grid.Extent.MinLon, Grid.CellWidth(), 0, Grid.Extent.MaxLat, 0, -Grid.CellHeight()};
  request.Software = "Sondralis " SONDRALIS_VERSION;
  request.FillBand = [&](int Band, std::vector<float>& Values) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    // The arrays hold columns; the file holds rows.
    for (int x = 0; x < columns; ++x)
      for (int y = 0; y < rows; ++y) {
        float v = kNaN;
        if (Grid.Covered(x, y))
          v = Band == 1 ? static_cast<float>(Grid.Depth[x][static_cast<std::size_t>(y)])
                        : Distances.Empty() ? kNaN : Distances[x][static_cast<std::size_t>(y)];
        Values[static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(x)] = v;
      }
  };
  gdal::Check(module.GeoTIFF(request, Feedback,
                             [&](const gdal::TMadeFiles& Files) { CommitFiles({{Path, Files.front().second}}); }),
              Path);
  Feedback.SetProgress(0, 0);
}

}  // namespace sondralis
