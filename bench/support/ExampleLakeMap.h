#pragma once

// The map of the example lake as `sondralis-cli map` makes it (survey and
// shoreline KML, the map's default size, the default step), driven through a
// project, and everything the exports read of it.

#include <stdexcept>
#include <string>
#include <vector>

#include "exports/ExportGrid.h"
#include "interpolation/SampleGrid.h"
#include "model/Feedback.h"
#include "session/Project.h"

namespace sondralis::bench {

struct TExampleLakeMap {
  TProject Project;
  TExportGrid Grid;
  TExportSamples Samples;
  std::vector<TGeoLine> Shoreline;

  explicit TExampleLakeMap(int Width = TProject::kDefaultMapWidth, int Height = TProject::kDefaultMapHeight) {
    Project.SetMapSize(Width, Height);
    Project.SetContourMapSize(Width, Height);
    TSilentFeedback feedback;
    for (const char* name : {"lake_survey.gpx", "lake_shore.kml"}) {
      const SourceLoadResult loaded =
          Project.AddFile(std::string(SONDRALIS_SOURCE_DIR "/examples/") + name, {}, feedback);
      if (!loaded.Error.empty()) throw std::runtime_error(loaded.Error);
    }
    if (!Project.Interpolate(feedback)) throw std::runtime_error("the example lake did not go through");
    Project.TraceContours(feedback);
    const TDepthMap& map = Project.DepthMap();
    Grid.Depth = map.DepthArray;
    Grid.Mask = map.ShadowArray;
    Grid.Extent = ViewGridExtent(Project.GPXView());
    Samples.Coord = map.InCoord;
    Samples.Depth = map.InDepth;
    int trackPoints = 0;
    for (const TGPXtrk* track : Project.GPXdata().trk)
      for (const TGPXtrkseg* segment : *track) trackPoints += segment->Count();
    Samples.ShoreCount = Samples.Count() - trackPoints;
    Shoreline = ShorelineRings(Project.GPXdata());
  }
  TExampleLakeMap(const TExampleLakeMap&) = delete;
  TExampleLakeMap& operator=(const TExampleLakeMap&) = delete;

  int Step() const { return Project.Settings.Contours.Step; }
};

}  // namespace sondralis::bench
